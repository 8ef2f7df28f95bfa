// A production job driven through the automation channel: a local socket to
// the command dispatcher, the programmer on vrx-sim over a pseudo-terminal.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QTimer>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>

#include "automation/DdeLink.h"
#include "automation/DdeServer.h"
#include "automation/DdeSocket.h"
#include "link/Commands.h"
#include "link/Transport.h"
#include "platform/PortMap.h"
#include "platform/QtEventLoop.h"
#include "platform/QtSerialPort.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
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

// Sets an environment variable for one test and puts the old value back.
class EnvironmentValue {
 public:
  EnvironmentValue(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~EnvironmentValue() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 ? info.st_mode : 0;
}

// A socket file nothing listens on, as a program that ended abruptly leaves it.
bool LeaveStaleSocket(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (fd < 0 || path.size() >= sizeof address.sun_path) return false;
  path.copy(address.sun_path, path.size());
  const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return bound && S_ISSOCK(ModeOf(path));
}

TEST(DdeSocketPathTest, RuntimeFolderWhenPrivateElseTheUsersOwnFolderUnderTmp) {
  TempDir runtime, tmp;   // both made with mode 0700
  const EnvironmentValue tmpdir("TMPDIR", tmp.path().c_str());
  std::string error;
  {
    const EnvironmentValue xdg("XDG_RUNTIME_DIR", runtime.path().c_str());
    EXPECT_EQ(DdeSocketPath("line-a", error), runtime.path() + "/line-a") << error;
    ASSERT_EQ(::chmod(runtime.path().c_str(), 0755), 0);   // open to others: not used
    EXPECT_EQ(DdeSocketPath("line-a", error), tmp.path() + "/kestrin-" + std::to_string(::getuid()) + "/line-a");
  }
  const EnvironmentValue xdg("XDG_RUNTIME_DIR", nullptr);
  const std::string own = tmp.path() + "/kestrin-" + std::to_string(::getuid());
  EXPECT_EQ(DdeSocketPath("kestrin", error), own + "/kestrin") << error;
  EXPECT_EQ(ModeOf(own) & 07777, 0700u);
  EXPECT_TRUE(S_ISDIR(ModeOf(own)));

  for (const char* bad : {"", ".", "..", "a/b", "../kestrin"}) {
    error.clear();
    EXPECT_EQ(DdeSocketPath(bad, error), "") << bad;
    EXPECT_NE(error.find("not usable"), std::string::npos) << bad;
  }

  // The user's folder opened to others, or replaced by a link, is refused, not used.
  ASSERT_EQ(::chmod(own.c_str(), 0777), 0);
  EXPECT_EQ(DdeSocketPath("kestrin", error), "");
  EXPECT_NE(error.find("open to other users"), std::string::npos) << error;
  ASSERT_EQ(::rmdir(own.c_str()), 0);
  ASSERT_EQ(::symlink(runtime.path().c_str(), own.c_str()), 0);
  ASSERT_EQ(::chmod(runtime.path().c_str(), 0700), 0);
  EXPECT_EQ(DdeSocketPath("kestrin", error), "");
  EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
}

TEST(DdeSocketPathTest, PrivateFolderChecksOwnerModeAndKind) {
  TempDir dir;
  const std::string file = dir.Write("file", "x");
  ASSERT_EQ(::mkdir((dir.path() + "/shared").c_str(), 0700), 0);
  ASSERT_EQ(::chmod((dir.path() + "/shared").c_str(), 0750), 0);
  ASSERT_EQ(::symlink(dir.path().c_str(), (dir.path() + "/link").c_str()), 0);
  struct Case {
    std::string path;
    uid_t uid;
    const char* reason;   // nullptr: accepted
  };
  const Case cases[] = {
      {dir.path(), ::getuid(), nullptr},
      {dir.path(), ::getuid() + 1, "belongs to another user"},
      {dir.path() + "/shared", ::getuid(), "open to other users"},
      {dir.path() + "/link", ::getuid(), "symbolic link"},
      {file, ::getuid(), "not a folder"},
      {dir.path() + "/missing", ::getuid(), "cannot inspect"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(PrivateFolder(c.path, c.uid, error), c.reason == nullptr) << c.path;
    if (c.reason) {
      EXPECT_NE(error.find(c.reason), std::string::npos) << c.path << ": " << error;
    }
  }
}

TEST(DdeSocketPathTest, PeerMustBeTheSameUser) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  std::string error;
  EXPECT_TRUE(PeerIsUser(pair[0], ::getuid(), error)) << error;
  EXPECT_FALSE(PeerIsUser(pair[0], ::getuid() + 1, error));
  EXPECT_NE(error.find("not by this user"), std::string::npos) << error;
  ::close(pair[0]);
  ::close(pair[1]);
  int notASocket[2];
  ASSERT_EQ(::pipe(notASocket), 0);
  EXPECT_FALSE(PeerIsUser(notASocket[0], ::getuid(), error));
  EXPECT_NE(error.find("cannot tell"), std::string::npos) << error;
  ::close(notASocket[0]);
  ::close(notASocket[1]);
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

// The option commands set the values a following LoadImage stores: the
// option record holds exactly the fuses and calibration the script sent.
TEST_F(DdeSocketTest, OptionCommandsReachTheStoredOptionRecord) {
  AutomationClient client(name);
  ASSERT_TRUE(client.Connected());
  EXPECT_EQ(client.Ask("EXECUTE DDELink FindProgrammers"), "FindProgrammers|Success|");
  EXPECT_EQ(client.Ask("EXECUTE DDELink Select|1"), "Select|Success|");
  const std::string hex = files.Write("job.hex", DataRecord(0, {1, 2, 3, 4}) + EndRecord());
  const std::string ee = files.Write("job.eep", DataRecord(2, {0x5A}) + EndRecord());
  EXPECT_EQ(client.Ask("EXECUTE DDELink AVRFuses|fc|E2|d9|FD"), "AVRFuses|Success|");
  EXPECT_EQ(client.Ask("EXECUTE DDELink OscCal|40|7fF"), "OscCal|Success|");
  EXPECT_EQ(client.Ask("EXECUTE DDELink LoadImage|4|Fused|" + hex + "|ATmega328P|3.3|0|8000|" + ee + "|Cal"),
            "LoadImage|Success|");

  std::array<uint8_t, 13> record{};
  ASSERT_TRUE(ReadFlashConfirmed(4 * 256, 13, record.data())) << LastErrorText;
  // Calibration 8 MHz into flash at 7FF; low, high, extended, lock; no JTAG ID; erased end.
  EXPECT_EQ(record, (std::array<uint8_t, 13>{0x28, 0xFF, 0x07, 0, 0, 0xE2, 0xD9, 0xFD, 0xFC, 0, 0, 0, 0xFF}));

  // Too few bytes: refused, and the next load stores zeros, never the earlier bytes.
  EXPECT_EQ(client.Ask("EXECUTE DDELink AVRFuses|FF|E2|D9"), "AVRFuses| 1607|Too few parameters");
  EXPECT_EQ(client.Ask("EXECUTE DDELink LoadImage|4|Fused|" + hex + "|ATmega328P|3.3|0|8000||"),
            "LoadImage|Success|");
  ASSERT_TRUE(ReadFlashConfirmed(4 * 256, 13, record.data())) << LastErrorText;
  EXPECT_EQ(std::vector<uint8_t>(record.begin() + 5, record.begin() + 9), std::vector<uint8_t>(4, 0));
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
  EXPECT_EQ(out, "");
  // A socket file whose program has gone answers nothing either.
  std::string error;
  ASSERT_TRUE(LeaveStaleSocket(DdeSocketPath((name + "-gone").toStdString(), error)));
  EXPECT_EQ(runClient({"--name", name + "-gone", "PortStatus"}, out), 2);
  ::unlink(DdeSocketPath((name + "-gone").toStdString(), error).c_str());
}

TEST_F(DdeSocketTest, TheSocketLivesInThePrivateFolderOnly) {
  std::string error;
  const std::string path = DdeSocketPath(name.toStdString(), error);
  ASSERT_FALSE(path.empty()) << error;
  EXPECT_EQ(server->SocketPath().toStdString(), path);
  EXPECT_TRUE(S_ISSOCK(ModeOf(path)));
  const std::string folder = QFileInfo(QString::fromStdString(path)).absolutePath().toStdString();
  EXPECT_EQ(ModeOf(folder) & 07777, 0700u);
  EXPECT_TRUE(PrivateFolder(folder, ::getuid(), error)) << error;
  const QString shared = QDir::tempPath();
  EXPECT_NE(QDir(QString::fromStdString(folder)).canonicalPath(), QDir(shared).canonicalPath());
  EXPECT_FALSE(QFileInfo::exists(shared + "/" + name));
  EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/tmp/") + name));

  // The server's end of a connection is this user.
  AutomationClient client(name);
  ASSERT_TRUE(client.Connected());
  EXPECT_TRUE(PeerIsUser(static_cast<int>(client.socket.socketDescriptor()), ::getuid(), error)) << error;
  EXPECT_EQ(client.Ask("EXECUTE DDELink ImageProtect|0|0"), "ImageProtect|Success|");

  server.reset();   // closing removes the socket file
  EXPECT_EQ(ModeOf(path), 0u);
}

TEST_F(DdeSocketTest, ASecondServerWithTheSameNameIsRefusedAndTheFirstKeepsServing) {
  AutomationClient before(name);
  ASSERT_TRUE(before.Connected());
  const std::string path = server->SocketPath().toStdString();
  {
    DdeServer second(*link, name);
    EXPECT_FALSE(second.Listening());
    EXPECT_NE(second.ErrorText().indexOf("in use"), -1) << second.ErrorText().toStdString();
    EXPECT_TRUE(S_ISSOCK(ModeOf(path)));
  }
  EXPECT_TRUE(S_ISSOCK(ModeOf(path)));   // the refused one removed nothing when it went
  EXPECT_TRUE(server->Listening());
  EXPECT_EQ(before.Ask("EXECUTE DDELink ImageProtect|1|5"), "ImageProtect|Success|");
  AutomationClient after(name);
  ASSERT_TRUE(after.Connected());
  EXPECT_EQ(after.Ask("REQUEST DDELink DDEStatus"), "ImageProtect|Success|");
  EXPECT_EQ(ImageCountLimit, 5);
}

TEST_F(DdeSocketTest, AStaleSocketFileIsReplaced) {
  const QString staleName = name + "-stale";
  std::string error;
  const std::string path = DdeSocketPath(staleName.toStdString(), error);
  ASSERT_TRUE(LeaveStaleSocket(path)) << path;
  {
    AutomationClient nobody(staleName);
    EXPECT_FALSE(nobody.Connected());
  }
  DdeServer fresh(*link, staleName);
  ASSERT_TRUE(fresh.Listening()) << fresh.ErrorText().toStdString();
  AutomationClient client(staleName);
  ASSERT_TRUE(client.Connected());
  EXPECT_EQ(client.Ask("EXECUTE DDELink ImageInfo|9"), "ImageInfo| 1603|Illegal Image #");
}

}  // namespace
