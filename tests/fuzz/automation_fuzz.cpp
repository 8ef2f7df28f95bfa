// Any request text through the automation dispatcher, with the programmer
// link faked (a line where nobody answers): every command string gets a reply
// in the command's own form, and nothing crashes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "automation/DdeLink.h"
#include "link/Transport.h"
#include "platform/EventLoop.h"
#include "platform/MessageBox.h"
#include "platform/SerialPort.h"
#include "platform/SettingsStore.h"
#include "state/Bindings.h"
#include "state/views/MainWindowView.h"
#include "tests/fuzz/FuzzStandIns.h"
#include "tests/support/ProgramState.h"

namespace {

class SilentLine : public SerialPort {
 public:
  void SetCommPort(int n) override { port = n; }
  int CommPort() const override { return port; }
  void SetSettings(const std::string&) override {}
  bool Open(int32_t&, std::string&) override { return open = true; }
  void Close() override { open = false; }
  bool IsOpen() const override { return open; }
  void SetRThreshold(int) override {}
  void Write(const uint8_t*, size_t) override {}
  std::vector<uint8_t> ReadAll() override { return {}; }
  int port = 1;
  bool open = false;
};

// Every turn is one tick: waits end quickly.
class TickingLoop : public EventLoop {
 public:
  void DoEvents() override { Timer1_Timer(); }
  void ProcessPending() override {}
};

class NoSettings : public SettingsStore {
 public:
  std::string GetSetting(const std::string&, const std::string&, const std::string& d) override { return d; }
  void SaveSetting(const std::string&, const std::string&, const std::string&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SilentLine line;
  static TickingLoop loop;
  static SilentMessageBox boxes;
  static NoSettings settings;
  static NullMainWindow window;
  ResetProgramState();   // each input starts from a fresh program and a closed line
  line = SilentLine{};
  MSComm1 = &line;
  Events = &loop;
  MessageBox = &boxes;
  Settings = &settings;
  frmMain = &window;
  AppPath = "/nonexistent-kestrin-data";   // no device files: loads end at the device search

  DdeLink link;
  const std::string text(reinterpret_cast<const char*>(data), size);
  size_t start = 0;
  for (int commands = 0; start <= text.size() && commands < 8; ++commands) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string command = text.substr(start, end - start);
    const std::string& reply = link.Execute(command);
    // Every reply is the command's name, a bar, and ends in CR LF.
    if (reply.size() < 3 || reply.compare(reply.size() - 2, 2, "\r\n") != 0) std::abort();
    if (reply.compare(0, link.Params[0].size(), link.Params[0]) != 0 || reply[link.Params[0].size()] != '|') {
      std::abort();
    }
    start = end + 1;
  }
  return 0;
}
