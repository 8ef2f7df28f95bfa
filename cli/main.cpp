// kestrin-cli: runs the operations without windows, for scripts and for
// diagnosing a line.
#include <QCoreApplication>
#include <QStandardPaths>
#include <cstdio>

#include "KestrinVersion.h"
#include "cli/CliCommands.h"
#include "cli/ConsoleMainWindow.h"
#include "link/LineState.h"
#include "link/Transport.h"
#include "operations/RunLog.h"
#include "platform/ConsoleMessageBox.h"
#include "platform/PortMap.h"
#include "platform/QtEventLoop.h"
#include "platform/QtSerialPort.h"
#include "platform/QtSettingsStore.h"
#include "state/Bindings.h"
#include "state/ProgramFiles.h"

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);

  std::vector<std::string> args(argv + 1, argv + argc);
  // For shell completion and manual pages: the commands, or one command's options.
  if (!args.empty() && args[0] == "--complete-words") {
    std::fputs(CliCompletionWords(args.size() > 1 ? args[1] : std::string()).c_str(), stdout);
    return ExitOk;
  }
  std::unique_ptr<CliCommonValues> values;
  std::string error;
  const bool parsed = ParseCliOptions(args, values, error);
  const CliCommonValues& options = *values;
  if (!parsed) {
    std::fputs(CliUsageError(options.command, error).c_str(), stderr);
    return ExitUsage;
  }
  if (options.version) {
    std::printf("kestrin-cli %s\n", KESTRIN_VERSION);
    return ExitOk;
  }
  if (options.help) {
    std::fputs(CliUsage(options.command).c_str(), stdout);
    return 0;
  }

  QtSettingsStore settings;
  PortMap portMap(&settings);
  std::map<int, std::string> overrides;
  if (!options.portMap.empty() && !PortMap::Parse(options.portMap, overrides, error)) {
    std::fputs(CliUsageError(options.command, error).c_str(), stderr);
    return ExitUsage;
  }
  int commPort = options.port;
  if (!options.device.empty()) {
    commPort = options.port != 0 ? options.port : 1;
    overrides[commPort] = options.device;
  }
  if (commPort == 0) commPort = std::atoi(settings.GetSetting("Settings", "CommPort", "1").c_str());
  if (commPort < 1 || commPort > PortMap::MaxPort) commPort = 1;
  portMap.SetOverrides(overrides);

  QtSerialPort port(portMap);
  port.SetCommPort(commPort);
  port.OnReceive = ReceiveBytes;
  QtEventLoop events;
  QtTickTimer timer1([] {
    Timer1_Timer();
    if (InterruptRequested) CancelRequest = true;   // Ctrl-C is the Cancel button
  });
  ConsoleMessageBox messages;
  ConsoleMainWindow window(commPort, options.verbose);

  RunLogFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString() + "/Kestrin";
  AppPath = options.dataDir.empty() ? DataFolder(QCoreApplication::applicationDirPath().toStdString())
                                   : options.dataDir;
  MSComm1 = &port;
  Events = &events;
  Settings = &settings;
  MessageBox = &messages;
  frmMain = &window;

  const int status = RunCliCommand(options);
  port.Close();
  // A lost record is said whatever the options; --verbose has shown it already.
  if (!RunLogLost.empty() && !options.verbose) std::fprintf(stderr, "Run log not written: %s\n", RunLogLost.c_str());
  return status;
}
