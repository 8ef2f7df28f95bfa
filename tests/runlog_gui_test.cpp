// The run log as the operator and scripts meet it: the records of one run
// started from the window, from automation and from kestrin-cli, the Run Log
// window, and kestrin-cli log.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QPushButton>
#include <QTableWidget>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

#include "link/Transport.h"
#include "operations/RunLog.h"
#include "operations/SaveImage.h"
#include "operations/ui/ImageManagerWindow.h"
#include "operations/ui/ProgramManagerWindow.h"
#include "operations/ui/RunLogWindow.h"
#include "platform/PortMap.h"
#include "platform/QtEventLoop.h"
#include "platform/QtSerialPort.h"
#include "programmers/Discovery.h"
#include "programmers/UnitState.h"
#include "shell/MainWindow.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "tests/support/AutomationClient.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/ProcessRun.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/WindowLine.h"

namespace {

const char* const Unit1 = "address=1,type=6,fw=3.010,slots=4,slotsize=256,baud=115200";

using CliResult = ProcessResult;

// kestrin-cli with the log and settings in `home`.
CliResult RunCli(const std::string& home, const std::vector<std::string>& args) {
  return RunProcess(KESTRIN_CLI_PATH, args, home, "XDG_DATA_HOME='" + home + "' XDG_CONFIG_HOME='" + home + "'");
}

class RunLogGuiTest : public ::testing::Test {
 protected:
  void SetUp() override { RunLogFolder = home.path() + "/Kestrin"; }
  void TearDown() override {
    if (window) window->close();
    window.reset();
    FileDial1 = nullptr;
  }

  // The simulated line: slot 1 "Board"; port 2 fails verifying, port 3 has no target.
  void StartLine() {
    sim = std::make_unique<SimProcess>(std::vector<std::string>{
        "--programmer", Unit1, "--image", "slot=1,name=Board,device=9,family=0", "--target",
        "port=2,result=18,program=4,step=50", "--target", "port=3,present=0", "--target", "port=1,step=50",
        "--target", "port=4,step=50"});
    ASSERT_TRUE(sim->ready());
  }

  // The main window on the line, the programmer found, the image manager open.
  void OpenWindow() {
    BindSimulatedLines(portMap, serial, events, {{1, sim->linkPath()}});
    FileDial1 = &dialogs;
    window = std::make_unique<MainWindow>(portMap);
    window->SetAutomation(automationName, false);
    frmMain = window.get();
    window->Form_Load();
    ASSERT_TRUE(AcquireProgrammerAt(1));
    window->ShowImageManager();
    ASSERT_NE(window->ImageManager(), nullptr);
    Settle();
  }

  static void Settle() { SettleEvents(); }

  static void Pause(int ms) { PauseEvents(ms); }

  std::vector<RunRecord> Logged() const {
    std::vector<RunRecord> all;
    for (const std::string& file : RunLogFiles(RunLogFolder)) {
      ReadRunLogFile(file, [&](const RunRecord& r) { all.push_back(r); });
    }
    return all;
  }

  const QString automationName = QStringLiteral("kestrin-runlog-test-%1").arg(QCoreApplication::applicationPid());
  TempDir home;
  FakePlatform recorders;   // message boxes, settings; program state reset
  PortMap portMap{&recorders.settings};
  QtSerialPort serial{portMap};
  QtEventLoop events;
  ScriptedFileDialogs dialogs;
  std::unique_ptr<SimProcess> sim;
  std::unique_ptr<MainWindow> window;
};

// Every field but the time and the duration.
std::vector<std::string> Comparable(const RunRecord& r) {
  std::vector<std::string> fields = RunRecordFields(r);
  fields[0].clear();
  fields[15].clear();
  return fields;
}

TEST_F(RunLogGuiTest, ARunFromTheWindowFromAutomationAndFromTheCommandLineLogsTheSameRecords) {
  StartLine();
  const CliResult cli = RunCli(home.path(), {"program", "--device", sim->linkPath(), "--address", "1", "--image", "1"});
  EXPECT_EQ(cli.status, 1) << cli.err;   // a port failed
  std::vector<RunRecord> records = Logged();
  ASSERT_EQ(records.size(), 4u);

  OpenWindow();
  window->ImageManager()->fgImages_Click(1);
  window->mnuViewProgMan_Click();
  Settle();
  ProgramManagerWindow* pm = window->ProgramManager();
  ASSERT_NE(pm, nullptr);
  pm->btStart()->click();
  ASSERT_EQ(pm->valPortSts(1)->text(), "Verify Failed");
  ASSERT_EQ(Logged().size(), 8u);

  window->mnuDDEenable_Click();
  AutomationClient client(automationName);
  ASSERT_TRUE(client.Connected());
  ASSERT_EQ(client.Ask("EXECUTE DDELink Program|1|1234"), "Program|Success|");
  EXPECT_EQ(Logged().size(), 8u);   // nothing until the run is seen to end
  std::string status;
  for (int poll = 0; poll < 100 && status.find("Complete") == std::string::npos; ++poll) {
    Pause(200);   // as a client polls; the run ends whenever it ends
    status = client.Ask("EXECUTE DDELink PortStatus");
  }
  ASSERT_NE(status.find("Complete"), std::string::npos) << status;

  records = Logged();
  ASSERT_EQ(records.size(), 12u);
  struct Expected { int port; const char* result; int code; };
  const Expected expected[] = {{1, "Done", 0}, {2, "Verify Failed", 18}, {3, "No Target Vcc", 16}, {4, "Done", 0}};
  for (int source = 0; source < 3; ++source) {
    for (int port = 0; port < 4; ++port) {
      const RunRecord& r = records[static_cast<size_t>(source * 4 + port)];
      SCOPED_TRACE(std::to_string(source) + "/" + std::to_string(port));
      EXPECT_EQ(Comparable(r), Comparable(records[static_cast<size_t>(port)]));
      EXPECT_EQ(r.port, expected[port].port);
      EXPECT_EQ(r.result, expected[port].result);
      EXPECT_EQ(r.code, expected[port].code);
      EXPECT_GT(r.durationMs, 0);
      EXPECT_EQ(r.time.size(), 24u);
      EXPECT_EQ(r.time.back(), 'Z');
    }
  }
  const RunRecord& r = records[0];
  EXPECT_EQ(r.operation, "program");
  EXPECT_EQ(r.line, sim->linkPath());
  EXPECT_EQ(r.address, 1);
  EXPECT_EQ(r.programmerType, "VRX-AVR");
  EXPECT_EQ(r.firmware, "3.010");
  EXPECT_EQ(r.slot, 1);
  EXPECT_EQ(r.image, "Board");
  EXPECT_EQ(r.deviceType, "ATmega328P");
  EXPECT_EQ(r.checksum.size(), 4u);
  EXPECT_FALSE(r.station.empty());
  EXPECT_EQ(r.errorText, "");
}

TEST_F(RunLogGuiTest, TheWindowShowsTheNewestFirstFiltersAndExportsTheRowsShown) {
  StartLine();
  OpenWindow();
  window->ImageManager()->fgImages_Click(1);
  window->mnuViewProgMan_Click();
  Settle();
  ProgramManagerWindow* pm = window->ProgramManager();
  ASSERT_NE(pm, nullptr);
  pm->btStart()->click();
  pm->ChkPortEnbl(2)->setChecked(false);
  pm->btVerify()->click();
  ASSERT_EQ(Logged().size(), 7u);

  window->Menu("mnuViewRunLog")->trigger();
  Settle();
  RunLogWindow* log = window->RunLog();
  ASSERT_NE(log, nullptr);
  QTableWidget* grid = log->grid();
  ASSERT_EQ(grid->rowCount(), 7);
  EXPECT_EQ(grid->item(0, 10)->text(), "verify");   // newest first, a run's ports in order
  EXPECT_EQ(grid->item(0, 11)->text(), "1");
  EXPECT_EQ(grid->item(2, 11)->text(), "4");
  EXPECT_EQ(grid->item(6, 10)->text(), "program");
  EXPECT_EQ(grid->item(6, 11)->text(), "4");
  EXPECT_EQ(grid->item(0, 7)->text(), "Board");
  EXPECT_EQ(log->lblCount()->text(), "7 of 7");

  log->txtFilter()->setText("verify failed");   // any column, any case
  int shown = 0;
  for (int row = 0; row < grid->rowCount(); ++row) {
    if (grid->isRowHidden(row)) continue;
    ++shown;
    EXPECT_EQ(grid->item(row, 12)->text(), "Verify Failed");
  }
  EXPECT_EQ(shown, 2);
  EXPECT_EQ(log->lblCount()->text(), "2 of 7");

  const std::string path = home.path() + "/failed.csv";
  dialogs.answers = {path};
  log->btExport()->click();
  ASSERT_EQ(dialogs.requests.size(), 1u);
  EXPECT_TRUE(dialogs.requests[0].save);
  std::vector<RunRecord> exported;
  ASSERT_TRUE(ReadRunLogFile(path, [&](const RunRecord& r) { exported.push_back(r); }));
  ASSERT_EQ(exported.size(), 2u);
  EXPECT_EQ(exported[0].operation, "verify");
  EXPECT_EQ(exported[1].operation, "program");
  for (const RunRecord& r : exported) EXPECT_EQ(r.code, 18);
  EXPECT_TRUE(recorders.messages.boxes.empty());

  // Operations done while the window is open are there after Refresh.
  log->txtFilter()->clear();
  pm->btStart()->click();
  ImageNumber = 1;
  EXPECT_FALSE(SaveImageAs(home.path() + "/no-such-folder/board.hex", false));
  log->btRefresh()->click();
  ASSERT_EQ(grid->rowCount(), 11);
  EXPECT_EQ(grid->item(0, 10)->text(), "save");
  EXPECT_EQ(grid->item(0, 16)->text(), "Kestrin - " + QString::fromStdString(ErrorTitle));
  EXPECT_TRUE(grid->item(0, 17)->text().contains("board.hex")) << grid->item(0, 17)->text().toStdString();

  window->resize(1600, 720);
  window->show();
  window->MdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(log->parentWidget()));
  log->parentWidget()->showMaximized();
  Settle();
  const QString shot = QStringLiteral(TEST_ARTIFACTS_DIR "/kestrin-run-log.png");
  QDir().mkpath(QStringLiteral(TEST_ARTIFACTS_DIR));
  const QPixmap pixels = window->grab();
  ASSERT_FALSE(pixels.isNull());
  EXPECT_TRUE(pixels.save(shot));
  EXPECT_GT(QFileInfo(shot).size(), 1000);
}

TEST_F(RunLogGuiTest, UnwritableLogFailsNoRunFromTheWindowAndIsShownOnceInTheStatusBar) {
  StartLine();
  OpenWindow();
  RunLogFolder = home.Write("blocker", "a file, not a folder") + "/Kestrin";
  window->ImageManager()->fgImages_Click(1);
  window->mnuViewProgMan_Click();
  Settle();
  ProgramManagerWindow* pm = window->ProgramManager();
  ASSERT_NE(pm, nullptr);
  pm->btStart()->click();
  EXPECT_EQ(pm->valPortSts(0)->text(), "Done");
  EXPECT_TRUE(recorders.messages.boxes.empty());
  EXPECT_TRUE(window->StatusPanelText("Status").startsWith(
      QString::fromStdString("Run log not written: " + RunLogFolder + ": ")))
      << window->StatusPanelText("Status").toStdString();
  window->SetStatusPanel("Status", "");
  pm->btStart()->click();
  EXPECT_EQ(window->StatusPanelText("Status"), "");
}

// ---- kestrin-cli log ----

RunRecord At(const std::string& time, const std::string& result, int32_t code) {
  RunRecord r;
  r.time = time;
  r.station = "bench";
  r.line = "/dev/ttyUSB0";
  r.address = 2;
  r.slot = 1;
  r.image = "Board, rev \"B\"";
  r.operation = "program";
  r.port = 1;
  r.result = result;
  r.code = code;
  r.errorText = code > 0 && code < 16 ? "Function: Program\r\nError Code:  7" : "";
  return r;
}

TEST_F(RunLogGuiTest, CliLogPrintsRecordsSinceADateAsTabLinesOrOneJsonArray) {
  AppendRunRecords({At("2026-11-30T10:00:00.000Z", "Done", 0), At("2026-12-01T00:00:00.000Z", "Verify Failed", 18),
                    At("2026-12-09T12:00:00.000Z", "7", 7)});
  // A damaged line and a torn last record among them change nothing.
  std::ofstream(RunLogFolder + "/runs-2026-12.csv", std::ios::app | std::ios::binary)
      << "2026-12-09T13:00:00.000Z,torn\r\n" << std::string(300000, 'z') << "\r\n2026-12-10T00:00";

  CliResult r = RunCli(home.path(), {"log", "--since", "2026-12-01"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> lines;
  for (size_t from = 0; from < r.out.size();) {
    const size_t end = r.out.find('\n', from);
    lines.push_back(r.out.substr(from, end - from));
    from = end + 1;
  }
  ASSERT_EQ(lines.size(), 3u) << r.out;
  EXPECT_EQ(lines[0].rfind("time\tstation\tline\taddress\t", 0), 0u);
  EXPECT_EQ(lines[1].rfind("2026-12-01T00:00:00.000Z\tbench\t/dev/ttyUSB0\t2\t", 0), 0u);
  EXPECT_NE(lines[1].find("\tBoard, rev \"B\"\t"), std::string::npos);
  EXPECT_NE(lines[1].find("\tVerify Failed\t18\t"), std::string::npos);
  EXPECT_NE(lines[2].find("Function: Program\\r\\nError Code:  7"), std::string::npos);

  r = RunCli(home.path(), {"log", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out;
  const QJsonArray all = doc.array();
  ASSERT_EQ(all.size(), 3);
  EXPECT_EQ(all[0].toObject()["time"].toString(), "2026-11-30T10:00:00.000Z");
  EXPECT_EQ(all[1].toObject()["code"].toInt(), 18);
  EXPECT_EQ(all[1].toObject()["image"].toString(), "Board, rev \"B\"");
  EXPECT_EQ(all[2].toObject()["error_text"].toString(), "Function: Program\r\nError Code:  7");

  r = RunCli(home.path(), {"log", "--since", "2026-12-10", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array().size(), 0) << r.out;

  for (const char* bad : {"2026-13-01", "yesterday", ""}) {
    r = RunCli(home.path(), {"log", "--since", bad});
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_NE(r.err.find("--since takes a date YYYY-MM-DD"), std::string::npos) << r.err;
  }
  r = RunCli(home.path(), {"--help"});
  EXPECT_NE(r.out.find("log [--since YYYY-MM-DD] [--json]"), std::string::npos);
}

}  // namespace
