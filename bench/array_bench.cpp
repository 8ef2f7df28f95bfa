// What does following sixteen programmers cost? Sixteen simulated units at
// 115200 bit/s (bytes paced at the line rate) each run four ports; the
// array run polls all of them every 400 ms. Reports the line time of one
// poll pass against the wire time of its frames, and the longest gap
// between two 50 ms ticks while the run is followed.
//
//   array_bench
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "link/CommDefs.h"
#include "link/Frame.h"
#include "link/LineState.h"
#include "link/Transport.h"
#include "operations/ArrayRun.h"
#include "platform/PortMap.h"
#include "platform/QtEventLoop.h"
#include "platform/QtSerialPort.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/views/ArrayProgramView.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/SimProcess.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Units = 16;
constexpr double BitsPerByte = 10;   // start, eight data bits, stop
constexpr double LineRate = 115200;

double MsSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

struct TickWatch {
  Clock::time_point last = Clock::now();
  double longestMs = 0;
  int ticks = 0;
  void Tick() {
    longestMs = std::max(longestMs, MsSince(last));
    last = Clock::now();
    ++ticks;
    Timer1_Timer();
  }
};

// Every unit on every port; notes when each unit's status arrived in each pass.
class BenchView : public ArrayProgramView {
 public:
  bool ProgrammerEnabled(int) override { return true; }
  bool PortEnabled(int, int) override { return true; }
  int ChosenImage(int) override { return 1; }
  bool CrcVerify() override { return false; }
  bool Sequential() override { return false; }
  void SetPanelEnabled(int, bool) override {}
  void SetPortStatus(int panel, int port, const std::string&, int64_t, int64_t) override {
    if (port != 3) return;
    if (panel == 0) first = Clock::now();
    if (panel == Units - 1) passMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - first).count());
  }
  Clock::time_point first;
  std::vector<double> passMs;   // from unit 1's answer to unit 16's: fifteen exchanges
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::vector<std::string> options{"--line-rate"};
  for (int a = 1; a <= Units; ++a) {
    options.insert(options.end(), {"--programmer", "address=" + std::to_string(a) +
                                                       ",type=6,fw=3.010,slots=4,slotsize=256,baud=115200",
                                   "--image", "address=" + std::to_string(a) + ",slot=1,name=Bench,device=9,family=0"});
    for (int port = 1; port <= 4; ++port) {
      options.insert(options.end(), {"--target", "address=" + std::to_string(a) + ",port=" + std::to_string(port) +
                                                 ",program=4:1:1:1:2,step=400"});
    }
  }
  FakePlatform recorders;
  SimProcess sim(options);
  if (!sim.ready()) {
    std::fprintf(stderr, "array_bench: vrx-sim did not start\n");
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

  int32_t number = 0;
  std::string text;
  if (!serial.Open(number, text)) {
    std::fprintf(stderr, "array_bench: %s\n", text.c_str());
    return 1;
  }
  serial.SetRThreshold(1);
  // The table a scan would leave: sixteen units at 115200 bit/s.
  for (int a = 1; a <= Units; ++a) {
    ProgrammerTable[a] = ProgrammerRecord{static_cast<uint8_t>(a), 6, 4, 262144, "3.010"};
    ProgSettings[a] = "115200,n,8,1";
  }
  ProgCount = Units;
  CurrentAddress = 1;
  serial.SetSettings(ProgSettings[1]);
  std::vector<ArrayPanel> panels = OpenArrayProgramming();
  for (const ArrayPanel& p : panels) {
    if (!p.prepared) {
      std::fprintf(stderr, "array_bench: unit %d did not answer (%d)\n", p.address, LastErrorNumber);
      return 1;
    }
  }

  BenchView view;
  watch = TickWatch{};
  const Clock::time_point start = Clock::now();
  const bool ok = RunArray(view, panels);
  const double runMs = MsSince(start);

  // One GetStatus exchange on the wire: the command frame and the reply
  // (ID, status byte and four port codes) in the same framing.
  const uint8_t request[] = {CmdGetStatus};
  const uint8_t reply[] = {CmdGetStatus + 0x80, 0, 0, 0, 0, 0};
  const double bytes = static_cast<double>(BuildFrame(1, request, 1).size() + BuildFrame(1, reply, 6).size());
  const double wireMs = Units * bytes * BitsPerByte / LineRate * 1000;
  double sum = 0, longest = 0;
  for (double ms : view.passMs) {
    sum += ms;
    longest = std::max(longest, ms);
  }
  const double perExchange = view.passMs.empty() ? 0 : sum / view.passMs.size() / (Units - 1);
  const double passMs = perExchange * Units;
  std::printf("Array run, %d units x 4 ports at 115200 bit/s: %.1f s, %zu poll passes\n", Units, runMs / 1000,
              view.passMs.size());
  std::printf("  poll pass over %d units: %6.1f ms line time (%.2f ms per unit; slowest 15 exchanges %.1f ms)\n",
              Units, passMs, perExchange, longest);
  std::printf("  wire time of its frames: %6.1f ms (%.0f bytes per unit) -> overhead %.2f x\n", wireMs, bytes,
              wireMs > 0 ? passMs / wireMs : 0);
  std::printf("  share of the 400 ms poll interval spent on the line: %.0f %%\n", passMs / 400 * 100);
  std::printf("  longest gap between 50 ms ticks: %.1f ms (%.2f x), %d ticks\n", watch.longestMs,
              watch.longestMs / 50.0, watch.ticks);
  serial.Close();
  return ok ? 0 : 1;
}
