// What widget tests of the main window share: the serial port and event loop
// bound to simulated lines, and letting queued window work run.
#pragma once

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <map>
#include <string>

#include "link/Transport.h"
#include "platform/PortMap.h"
#include "platform/QtEventLoop.h"
#include "platform/QtSerialPort.h"
#include "state/Bindings.h"
#include "tests/support/SimProcess.h"

// The port numbers on the given devices only, the port and event loop bound
// as the program binds them, and the delivered data files of the build.
inline void BindSimulatedLines(PortMap& portMap, QtSerialPort& serial, QtEventLoop& events,
                               const std::map<int, std::string>& lines) {
  portMap.SetOverrides(lines);
  portMap.SetUseSystemPorts(false);
  serial.OnReceive = ReceiveBytes;
  MSComm1 = &serial;
  Events = &events;
  AppPath = QDir(QString::fromStdString(SimProgramPath())).absolutePath().section('/', 0, -2).toStdString();
}

// Lets the event loop run until the windows have done what they queued (a
// child window's activation runs from the event loop).
inline void SettleEvents() {
  for (int i = 0; i < 20; ++i) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Lets the event loop run for a while.
inline void PauseEvents(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}
