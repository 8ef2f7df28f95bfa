// kestrin-cli as started: converts build files offline itself, without the Qt
// runtime (loading it and its libraries is most of a short command's time),
// and hands every other command line to kestrin-cli-qt beside it, which runs
// it exactly as kestrin-cli always has. Whatever the conversion here would
// have to report (a usage error, a bad file, a message box, a setting it
// would read, a run log it would write) is left to kestrin-cli-qt too: this
// program then has printed and written nothing, and the whole program does
// the command again.
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/CliCommands.h"
#include "cli/CliConvert.h"
#include "cli/CliOptionTable.h"
#include "cli/ConsoleMainWindow.h"
#include "operations/RunLog.h"
#include "platform/MessageBox.h"
#include "platform/SettingsStore.h"
#include "state/Bindings.h"
#include "state/ProgramFiles.h"

namespace {

// Stand-ins that note what only the whole program can do right.
bool NeedsWholeProgram = false;

class NoMessageBoxes : public MessageBoxes {
 public:
  int MsgBox(const std::string&, int, const std::string&) override {
    NeedsWholeProgram = true;
    return vbOK;
  }
};

class NoSettings : public SettingsStore {
 public:
  std::string GetSetting(const std::string&, const std::string&, const std::string& defaultValue) override {
    NeedsWholeProgram = true;
    return defaultValue;
  }
  void SaveSetting(const std::string&, const std::string&, const std::string&) override { NeedsWholeProgram = true; }
};

std::string ProgramFolder() {
  char path[4096];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  const std::string self(path, static_cast<size_t>(n));
  const size_t slash = self.rfind('/');
  return slash == std::string::npos ? std::string() : self.substr(0, slash);
}

// The options of a plain convert (no JSON, no status texts): the command
// line as the declarations of convert and --data-dir read it, or false for
// anything else.
bool PlainConvert(int argc, char* argv[], ConvertValues& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "convert" && options.command.empty()) {
      options.command = arg;
      continue;
    }
    if (arg.compare(0, 2, "--") != 0) return false;
    const std::string name = arg.substr(2);
    const CliOption* option = name == "data-dir" ? FindCliOption(GlobalCliOptions(), name)
                                                 : FindCliOption(ConvertCliOptions(), name);
    if (!option || (option->value.kind != CliValue::Text && option->value.kind != CliValue::List)) return false;
    std::string error;
    if (i + 1 >= argc || !ApplyCliOption(*option, argv[++i], options, error)) return false;
  }
  return options.command == "convert" && !options.deviceType.empty();
}

int RunWholeProgram(const std::string& folder, char* argv[]) {
  const std::string program = folder + "/kestrin-cli-qt";
  std::fflush(nullptr);
  ::execv(program.c_str(), argv);
  std::fprintf(stderr, "kestrin-cli: cannot run %s: %s\n", program.c_str(), std::strerror(errno));
  return ExitFailed;
}

}  // namespace

int main(int argc, char* argv[]) {
  const std::string folder = ProgramFolder();
  ConvertValues options;
  if (folder.empty() || !PlainConvert(argc, argv, options)) return RunWholeProgram(folder, argv);

  // As the whole program has it: the user's locale, the data files beside the
  // program or in ../share/kestrin.
  std::setlocale(LC_ALL, "");
  NoMessageBoxes messages;
  NoSettings settings;
  ConsoleMainWindow window(1, false);
  AppPath = options.dataDir.empty() ? DataFolder(folder) : options.dataDir;
  MessageBox = &messages;
  Settings = &settings;
  frmMain = &window;

  int32_t entire = 0;
  if (ConvertAndWrite(options, false, entire) != ExitOk || NeedsWholeProgram || !RunLogLost.empty()) {
    return RunWholeProgram(folder, argv);
  }
  PrintConversion(entire);
  return ExitOk;
}
