// Lets pending user-interface events run inside a wait: timer ticks, clicks and
// the serial receive event are delivered from here.
#pragma once

class EventLoop {
 public:
  virtual ~EventLoop() = default;
  // Runs pending events once; may block until at least one event arrived
  // (the 50 ms tick guarantees one arrives soon).
  virtual void DoEvents() = 0;
  // Runs the events already waiting and returns at once; long computations
  // call it now and then so the windows keep repainting.
  virtual void ProcessPending() = 0;
};
