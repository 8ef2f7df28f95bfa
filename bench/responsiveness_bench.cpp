// Does the user interface keep breathing during long operations? Measures the
// longest gap between two 50 ms ticks while a 256 KiB flash transfer runs at
// the line rate, and while a programming run is followed to its end.
//
//   responsiveness_bench [--size KIB]
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/Commands.h"
#include "link/Transport.h"
#include "operations/ProgramRun.h"
#include "platform/PortMap.h"
#include "platform/QtEventLoop.h"
#include "platform/QtSerialPort.h"
#include "programmers/Discovery.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/views/ProgramManagerView.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/SimProcess.h"

namespace {

using Clock = std::chrono::steady_clock;

// Timer1 that also notes the longest time between two of its ticks.
struct TickWatch {
  Clock::time_point last = Clock::now();
  double longestMs = 0;
  int ticks = 0;
  void Reset() {
    last = Clock::now();
    longestMs = 0;
    ticks = 0;
  }
  void Tick() {
    const Clock::time_point now = Clock::now();
    longestMs = std::max(longestMs, std::chrono::duration<double, std::milli>(now - last).count());
    last = now;
    ++ticks;
    Timer1_Timer();
  }
};

class AllPorts : public ProgramManagerView {
 public:
  bool PortEnabled(int) override { return true; }
  bool CrcVerifyOnly() override { return false; }
  bool Sequential() override { return false; }
  bool SoundEnabled() override { return false; }
  void SetPortStatus(int, const std::string&, int64_t, int64_t) override {}
  void SetStatusFrameVisible(bool) override {}
};

void Report(const char* what, const TickWatch& watch, double seconds) {
  std::printf("  %-34s %6.1f s, %5d ticks, longest gap %6.1f ms (%.2f x the 50 ms tick)\n", what, seconds,
              watch.ticks, watch.longestMs, watch.longestMs / 50.0);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int sizeKib = 256;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--size") == 0) sizeKib = std::atoi(argv[i + 1]);
  }

  FakePlatform recorders;
  SimProcess sim({"--line-rate", "--programmer", "address=1,type=6,fw=3.010,slots=4,slotsize=256,baud=115200",
                  "--image", "slot=1,name=Bench,device=9,family=0", "--target", "port=1,step=400", "--target",
                  "port=2,step=400", "--target", "port=3,step=400", "--target", "port=4,step=400"});
  if (!sim.ready()) {
    std::fprintf(stderr, "responsiveness_bench: vrx-sim did not start\n");
    return 1;
  }
  MemorySettingsStore settings;
  PortMap map(&settings);
  map.SetOverrides({{1, sim.linkPath()}});
  QtSerialPort serial(map);
  serial.OnReceive = ReceiveBytes;
  QtEventLoop events;
  TickWatch watch;
  QtTickTimer timer1([&watch] { watch.Tick(); });
  MSComm1 = &serial;
  Events = &events;
  Settings = &settings;

  std::printf("Longest gap between 50 ms ticks (1.00 x means no tick was late):\n");
  if (!AcquireProgrammerAt(1)) {
    std::fprintf(stderr, "responsiveness_bench: no programmer found (%d)\n", LastErrorNumber);
    return 1;
  }
  std::vector<uint8_t> data(static_cast<size_t>(sizeKib) * 1024, 0x5A);
  watch.Reset();
  Clock::time_point start = Clock::now();
  const bool wrote = WriteFlash(0x40000, static_cast<int32_t>(data.size()), data.data(), true);
  Report(("WriteFlash " + std::to_string(sizeKib) + " KiB at 115200 bit/s").c_str(), watch,
         std::chrono::duration<double>(Clock::now() - start).count());

  AllPorts ports;
  frmProgram = &ports;
  ImageNumber = 1;
  watch.Reset();
  start = Clock::now();
  const bool ran = ProgramImage(false);
  Report("programming run, four ports", watch, std::chrono::duration<double>(Clock::now() - start).count());
  frmProgram = nullptr;
  serial.Close();
  return wrote && ran ? 0 : 1;
}
