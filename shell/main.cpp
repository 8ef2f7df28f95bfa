// kestrin: the windowed program.
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QStandardPaths>
#include <cstdio>
#include <memory>
#include <string>

#include "KestrinVersion.h"
#include "link/Transport.h"
#include "operations/RunLog.h"
#include "platform/PortMap.h"
#include "platform/QtEventLoop.h"
#include "platform/QtGuiPlatform.h"
#include "platform/QtSerialPort.h"
#include "platform/QtSettingsStore.h"
#include "shell/MainWindow.h"
#include "state/Bindings.h"
#include "state/ProgramFiles.h"

namespace {
bool AsksForHelp(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h" || arg == "--help-all" || arg == "--version" || arg == "-v") return true;
  }
  return false;
}
}  // namespace

int main(int argc, char* argv[]) {
  // The same "program version" line as the other programs print.
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--version" || std::string(argv[i]) == "-v") {
      std::printf("kestrin %s\n", KESTRIN_VERSION);
      return 0;
    }
  }
  // Help and version need no display.
  std::unique_ptr<QCoreApplication> app(AsksForHelp(argc, argv) ? new QCoreApplication(argc, argv)
                                                                 : new QApplication(argc, argv));
  QCoreApplication::setApplicationName(QStringLiteral("Kestrin"));
  QCoreApplication::setApplicationVersion(QStringLiteral(KESTRIN_VERSION));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Control program for VRX production device programmers"));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption dataDir(QStringLiteral("data-dir"), QStringLiteral("Folder of the data files."),
                                   QStringLiteral("DIR"));
  const QCommandLineOption portMapOption(QStringLiteral("port-map"),
                                         QStringLiteral("Port numbers to device paths, e.g. \"1=/dev/ttyUSB0\"."),
                                         QStringLiteral("MAP"));
  const QCommandLineOption dde(QStringLiteral("dde"), QStringLiteral("Enable the automation interface for this run."));
  const QCommandLineOption ddeName(QStringLiteral("dde-name"), QStringLiteral("Name of the automation interface."),
                                   QStringLiteral("NAME"));
  parser.addOptions({dataDir, portMapOption, dde, ddeName});
  parser.process(*app);

  QtSettingsStore settings;
  PortMap portMap(&settings);
  if (parser.isSet(portMapOption)) {
    std::map<int, std::string> overrides;
    std::string error;
    if (!PortMap::Parse(parser.value(portMapOption).toStdString(), overrides, error)) {
      std::fprintf(stderr, "kestrin: %s\n", error.c_str());
      return 2;
    }
    portMap.SetOverrides(overrides);
  }
  RunLogFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString() + "/Kestrin";
  AppPath = parser.isSet(dataDir) ? parser.value(dataDir).toStdString()
                                  : DataFolder(QCoreApplication::applicationDirPath().toStdString());

  QtSerialPort port(portMap);
  port.OnReceive = ReceiveBytes;
  QtEventLoop events;
  QtMessageBox messages;
  QtSoundPlayer sound;
  QtDocumentOpener documents;
  QtFileDialogs fileDialogs;
  MSComm1 = &port;
  Events = &events;
  Settings = &settings;
  MessageBox = &messages;
  Sound = &sound;
  Documents = &documents;
  FileDial1 = &fileDialogs;

  MainWindow window(portMap);
  messages.SetParent(&window);
  fileDialogs.SetParent(&window);
  frmMain = &window;
  window.SetAutomation(parser.isSet(ddeName) ? parser.value(ddeName) : QFileInfo(argv[0]).fileName(),
                       parser.isSet(dde));
  window.Form_Load();
  window.show();
  const int status = app->exec();
  frmMain = nullptr;
  return status;
}
