// The Qt event loop as the program's waits use it, and the 50 ms tick timer.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

#include "platform/EventLoop.h"

class QtEventLoop : public EventLoop {
 public:
  // Sleeps until something happens (a byte, a tick, a click): waits never spin.
  void DoEvents() override;
  void ProcessPending() override;
};

// A periodic timer, always enabled, every 50 ms.
class QtTickTimer : public QObject {
  Q_OBJECT
 public:
  explicit QtTickTimer(std::function<void()> onTick, int intervalMs = 50);

 private:
  QTimer timer_;
};
