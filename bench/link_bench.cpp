// The serial line is the limit: how close do flash transfers come to the wire
// time of their frames, and what does one exchange cost the program itself?
//
//   link_bench [--size KIB] [--exchanges N]
#include <sys/resource.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "devices/DeviceDatabase.h"
#include "devices/ImageState.h"
#include "link/Commands.h"
#include "link/LineState.h"
#include "link/Transport.h"
#include "operations/ImageDownload.h"
#include "operations/Selection.h"
#include "platform/PortMap.h"
#include "platform/QtEventLoop.h"
#include "platform/QtSerialPort.h"
#include "programmers/Discovery.h"
#include "programmers/RevisionTables.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/SimProcess.h"

namespace {

constexpr int Baud = 115200;
constexpr double BitsPerByte = 10.0;   // start, eight data bits, stop

// Counts every byte that crosses the line in each direction.
class CountingPort : public SerialPort {
 public:
  explicit CountingPort(SerialPort& inner) : inner_(inner) {
    inner_.OnReceive = [this] {
      if (OnReceive) OnReceive();
    };
  }
  void SetCommPort(int n) override { inner_.SetCommPort(n); }
  int CommPort() const override { return inner_.CommPort(); }
  void SetSettings(const std::string& s) override { inner_.SetSettings(s); }
  bool Open(int32_t& e, std::string& t) override { return inner_.Open(e, t); }
  void Close() override { inner_.Close(); }
  bool IsOpen() const override { return inner_.IsOpen(); }
  void SetRThreshold(int b) override { inner_.SetRThreshold(b); }
  void Write(const uint8_t* d, size_t n) override {
    sent += n;
    inner_.Write(d, n);
  }
  std::vector<uint8_t> ReadAll() override {
    std::vector<uint8_t> bytes = inner_.ReadAll();
    received += bytes.size();
    return bytes;
  }
  uint64_t sent = 0, received = 0;

 private:
  SerialPort& inner_;
};

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Line {
  explicit Line(const std::vector<std::string>& options) : sim(options) {
    if (!sim.ready()) {
      std::fprintf(stderr, "link_bench: vrx-sim did not start\n");
      std::exit(1);
    }
    map.SetOverrides({{1, sim.linkPath()}});
    serial.SetCommPort(1);
    counting.OnReceive = ReceiveBytes;
    MSComm1 = &counting;
    int32_t number = 0;
    std::string text;
    if (!counting.Open(number, text)) {
      std::fprintf(stderr, "link_bench: %s\n", text.c_str());
      std::exit(1);
    }
    counting.SetSettings("115200,n,8,1");
    CurrentAddress = 1;
  }
  ~Line() { counting.Close(); }
  SimProcess sim;
  MemorySettingsStore settings;
  PortMap map{&settings};
  QtSerialPort serial{map};
  CountingPort counting{serial};
};

const std::vector<std::string> OneUnit{"--programmer", "address=1,type=6,fw=3.010,slots=4,slotsize=256,baud=115200"};

bool Transfer(Line& line, int sizeKib, bool write, double& measured, double& wire) {
  std::vector<uint8_t> data(static_cast<size_t>(sizeKib) * 1024);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + (i >> 9));
  line.counting.sent = line.counting.received = 0;
  const auto start = std::chrono::steady_clock::now();
  const bool ok = write ? WriteFlash(0x10000, static_cast<int32_t>(data.size()), data.data(), false)
                        : ReadFlash(0x10000, static_cast<int32_t>(data.size()), data.data(), false);
  measured = Seconds(std::chrono::steady_clock::now() - start);
  wire = (line.counting.sent + line.counting.received) * BitsPerByte / Baud;
  if (!ok) std::fprintf(stderr, "link_bench: transfer failed with error %d\n", LastErrorNumber);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int sizeKib = 256;
  int exchanges = 2000;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--size") == 0) sizeKib = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--exchanges") == 0) exchanges = std::atoi(argv[i + 1]);
  }

  FakePlatform recorders;   // program state, main window and message boxes
  QtEventLoop events;
  QtTickTimer timer1(Timer1_Timer);
  Events = &events;

  int failures = 0;
  {
    std::vector<std::string> paced = OneUnit;
    paced.push_back("--line-rate");
    Line line(paced);
    std::printf("Flash transfers at %d bit/s, paced at the line rate (wire time / measured; 1.00 is the limit):\n",
                Baud);
    for (bool write : {true, false}) {
      double measured = 0, wire = 0;
      if (!Transfer(line, sizeKib, write, measured, wire)) ++failures;
      std::printf("  %-11s %4d KiB  wire %.3f s  measured %.3f s  ratio %.4f\n", write ? "WriteFlash" : "ReadFlash",
                  sizeKib, wire, measured, wire / measured);
    }
  }
  {
    // A whole image download: 256 KiB written and read back, the CRC, the
    // option record, page map, directory entry and security block.
    std::vector<std::string> paced = OneUnit;
    paced.push_back("--line-rate");
    Line line(paced);
    AppPath = QFileInfo(QString::fromStdString(SimProgramPath())).absolutePath().toStdString();
    LoadRevisionTables();
    if (!AcquireProgrammerAt(1)) {
      std::fprintf(stderr, "link_bench: no programmer (%d)\n", LastErrorNumber);
      return 1;
    }
    SelectProgrammer();
    if (!FindDeviceByName("ATmega2560")) {
      std::fprintf(stderr, "link_bench: the device file has no ATmega2560\n");
      return 1;
    }
    ImageBuffer.assign(262145, 0xFF);
    for (size_t i = 0; i < 200000; ++i) ImageBuffer[i] = static_cast<uint8_t>(i * 7);
    ImageTop = 199999;
    ImageNumber = 1;
    line.counting.sent = line.counting.received = 0;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = LoadNewDeviceImage(false, -1);
    const double measured = Seconds(std::chrono::steady_clock::now() - start);
    const double wire = (line.counting.sent + line.counting.received) * BitsPerByte / Baud;
    if (!ok) {
      std::fprintf(stderr, "link_bench: download failed with error %d %s\n", LastErrorNumber, LastErrorText.c_str());
      ++failures;
    }
    std::printf("  %-11s %4d KiB  wire %.3f s  measured %.3f s  ratio %.4f  (image download, all areas)\n",
                "Download", 256, wire, measured, wire / measured);
  }
  {
    Line line(OneUnit);
    std::string revision;
    const double cpuStart = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < exchanges; ++i) {
      if (!FwRev(revision)) {
        ++failures;
        break;
      }
    }
    const double elapsed = Seconds(std::chrono::steady_clock::now() - start);
    const double cpu = CpuSeconds() - cpuStart;
    std::printf("Unpaced exchanges over the pseudo-terminal (%d x FwRev):\n", exchanges);
    std::printf("  %.0f exchanges/s, %.1f us per exchange, of which %.1f us in this program\n",
                exchanges / elapsed, elapsed / exchanges * 1e6, cpu / exchanges * 1e6);
  }
  return failures == 0 ? 0 : 1;
}
