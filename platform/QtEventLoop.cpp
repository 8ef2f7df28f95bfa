#include "platform/QtEventLoop.h"

#include <QCoreApplication>
#include <QEventLoop>

void QtEventLoop::DoEvents() {
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void QtEventLoop::ProcessPending() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

QtTickTimer::QtTickTimer(std::function<void()> onTick, int intervalMs) {
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(intervalMs);
  connect(&timer_, &QTimer::timeout, this, [onTick = std::move(onTick)] { onTick(); });
  timer_.start();
}
