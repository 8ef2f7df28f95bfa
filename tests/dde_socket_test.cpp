// A production job driven through the automation channel: a local socket to
// the command dispatcher, the programmer on vrx-sim over a pseudo-terminal.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QTimer>
#include <fstream>
#include <iterator>
#include <memory>

#include "automation/DdeLink.h"
#include "automation/DdeServer.h"
#include "link/Transport.h"
#include "platform/PortMap.h"
#include "platform/QtEventLoop.h"
#include "platform/QtSerialPort.h"
#include "state/PublicVars.h"
#include "tests/support/AutomationClient.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/HexText.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"

namespace {

// Lets the event loop run for a while (the server and the programmer work meanwhile).
void Pause(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

class DdeSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim = std::make_unique<SimProcess>(std::vector<std::string>{
        "--programmer", "address=1,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--target",
        "port=1,step=100,memsize=32768", "--target", "port=2,step=100", "--target", "port=3,present=0"});
    ASSERT_TRUE(sim->ready());
    portMap.SetOverrides({{1, sim->linkPath()}});
    portMap.SetUseSystemPorts(false);
    serial.OnReceive = ReceiveBytes;
    MSComm1 = &serial;
    Events = &events;
    AppPath = QFileInfo(QString::fromStdString(SimProgramPath())).absolutePath().toStdString();
    link = std::make_unique<DdeLink>();
    server = std::make_unique<DdeServer>(*link, name);
    ASSERT_TRUE(server->Listening()) << server->ErrorText().toStdString();
  }
  void TearDown() override {
    server.reset();
    link.reset();
    serial.Close();
  }

  const QString name = QStringLiteral("kestrin-dde-test-%1").arg(QCoreApplication::applicationPid());
  FakePlatform recorders;
  PortMap portMap{&recorders.settings};
  QtSerialPort serial{portMap};
  QtEventLoop events;
  QtTickTimer timer1{Timer1_Timer};
  std::unique_ptr<SimProcess> sim;
  std::unique_ptr<DdeLink> link;
  std::unique_ptr<DdeServer> server;
  TempDir files;
};

TEST_F(DdeSocketTest, ScriptedProductionJob) {
  AutomationClient client(name);
  ASSERT_TRUE(client.Connected());
  EXPECT_EQ(client.Ask("REQUEST DDELink DDEStatus"), "VRX DDE Enabled");
  EXPECT_EQ(client.Ask("EXECUTE DDELink FindProgrammers"), "FindProgrammers|Success|");
  EXPECT_EQ(client.Ask("EXECUTE DDELink Select|1"), "Select|Success|");

  const std::string hex = files.Write("job.hex", DataRecord(0, {1, 2, 3, 4}) + EndRecord());
  EXPECT_EQ(client.Ask("EXECUTE DDELink ImageProtect|1|100"), "ImageProtect|Success|");
  EXPECT_EQ(client.Ask("EXECUTE DDELink LoadImage|2|Auto job|" + hex + "|ATmega328P|3.3|0|4000||"),
            "LoadImage|Success|");
  EXPECT_EQ(client.Ask("EXECUTE DDELink Serialize|2|1|2|7F00|0 0 1 2 A B"), "Serialize|Success|");
  EXPECT_EQ(client.Ask("EXECUTE DDELink Select|1"), "Select|Success|");   // re-read the directory
  EXPECT_EQ(client.Ask("EXECUTE DDELink ImageInfo|2"),
            "ImageInfo|Success|RP|100|Auto job            |ATmega|ATmega328P|3.30|SPI 4 MHz||<none>|");

  EXPECT_EQ(client.Ask("EXECUTE DDELink Program|2|123"), "Program|Success|");
  std::string status;
  for (int poll = 0; poll < 100; ++poll) {
    status = client.Ask("EXECUTE DDELink PortStatus");
    if (status.find("Complete|") != std::string::npos) break;
    Pause(200);
  }
  EXPECT_EQ(status, "PortStatus|Success|Done|Done|No Target Vcc|- Disabled -|Complete|");

  EXPECT_EQ(client.Ask("EXECUTE DDELink ReadDevice|3|Copied|ATmega328P|3.3|0|4000|"), "ReadDevice|Success|");
  const std::string saved = files.path() + "/copied.hex";
  EXPECT_EQ(client.Ask("EXECUTE DDELink Select|1"), "Select|Success|");   // the directory knows the new image
  EXPECT_EQ(client.Ask("EXECUTE DDELink SaveImage|3|" + saved), "SaveImage|Success|");
  std::ifstream file(saved);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.substr(0, 9), ":20000000");
  EXPECT_NE(text.find(":00000001FF"), std::string::npos);
  const std::string info = "ImageInfo|Success||Unrestricted|Copied              |ATmega|ATmega328P|3.30|SPI 4 MHz||<none>|";
  EXPECT_EQ(client.Ask("EXECUTE DDELink ImageInfo|3"), info);
  EXPECT_EQ(client.Ask("REQUEST DDELink DDEStatus"), info);

  EXPECT_EQ(client.Ask("HELLO").substr(0, 6), "ERROR ");
  EXPECT_EQ(client.Ask("EXECUTE Other Program|1").substr(0, 6), "ERROR ");
  EXPECT_EQ(client.Ask("REQUEST DDELink Other").substr(0, 6), "ERROR ");
}

TEST_F(DdeSocketTest, OversizedLinesAndVanishingClientsLeaveTheServerServing) {
  {
    AutomationClient huge(name);
    ASSERT_TRUE(huge.Connected());
    const std::string line(1 << 20, 'A');
    const std::string answer = huge.Ask(line);
    // Refused: the answer may be lost when the server closes while the client still sends.
    EXPECT_TRUE(answer.empty() || answer.rfind("ERROR ", 0) == 0) << answer;
    Pause(100);
    EXPECT_NE(huge.socket.state(), QLocalSocket::ConnectedState);
  }
  {
    AutomationClient leaving(name);
    ASSERT_TRUE(leaving.Connected());
    leaving.socket.write("EXECUTE DDELink FindProgrammers\n");
    leaving.socket.flush();
    Pause(300);   // the scan is under way
    leaving.socket.abort();
  }
  AutomationClient next(name);
  ASSERT_TRUE(next.Connected());
  EXPECT_EQ(next.Ask("EXECUTE DDELink ImageProtect|0|0"), "ImageProtect|Success|");
  EXPECT_EQ(next.Ask("REQUEST DDELink DDEStatus"), "ImageProtect|Success|");
}

TEST_F(DdeSocketTest, CommandLineClientExitStatus) {
  auto runClient = [this](const QStringList& args, std::string& out) {
    QProcess process;
    process.start(QStringLiteral(KESTRIN_DDE_PATH), args);
    QElapsedTimer guard;
    guard.start();
    while (process.state() != QProcess::NotRunning && guard.elapsed() < 60000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);   // the server answers from here
      process.waitForFinished(10);
    }
    out = process.readAllStandardOutput().toStdString();
    return process.exitCode();
  };
  std::string out;
  EXPECT_EQ(runClient({"--name", name, "ImageInfo|9"}, out), 1);
  EXPECT_EQ(out, "ImageInfo| 1603|Illegal Image #\n");
  EXPECT_EQ(runClient({"--name", name, "ImageProtect|0|0"}, out), 0);
  EXPECT_EQ(out, "ImageProtect|Success|\n");
  EXPECT_EQ(runClient({"--name", name + "-nobody", "PortStatus"}, out), 2);
}

}  // namespace
