// kestrin-cli's program and array --json: each port's result is its one
// outcome, also after Ctrl-C, against vrx-sim over a pseudo-terminal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ProcessRun.h"
#include "tests/support/SimProcess.h"

namespace {

// Status reads ("<ms> <address> 05") the simulator has received.
int StatusReads(const SimProcess& sim) {
  int reads = 0;
  for (const std::string& f : sim.loggedFrames()) {
    const size_t code = f.find(' ', f.find(' ') + 1) + 1;
    reads += f.compare(code, 2, "05") == 0;
  }
  return reads;
}

// Runs kestrin-cli; once the simulator has taken `reads` status reads (0:
// never), sends it SIGINT as Ctrl-C would. The exit status (-1 for a
// signal) and the standard output.
std::pair<int, std::string> RunCli(const std::vector<std::string>& args, const SimProcess& sim, int reads) {
  int output = -1;
  const pid_t pid = SpawnWithOutputPipe(KESTRIN_CLI_PATH, args, output);
  if (pid < 0) return {-1, ""};
  if (reads > 0) {
    for (int wait = 0; wait < 300 && StatusReads(sim) < reads; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGINT);
  }
  std::string text;
  char buffer[4096];
  ssize_t n = 0;
  while ((n = read(output, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  close(output);
  int raw = 0;
  waitpid(pid, &raw, 0);
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, text};
}

class CliOutcomesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kestrin-clioutcomes-XXXXXX";
    dir = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    setenv("XDG_DATA_HOME", dir.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string dir;
};

const char* Unit = "type=6,fw=3.010,slots=4,slotsize=256,baud=115200";

TEST_F(CliOutcomesTest, JsonResultIsEachPortsOutcomeAlsoAfterCtrlC) {
  // Port 1 is done at once; port 2 runs long, port 3 fails, port 4 is left out.
  const std::vector<std::string> targets = {"--target", "port=1,program=4,step=50", "--target",
                                            "port=2,step=20000", "--target", "port=3,result=18,program=4,step=50"};
  struct Case {
    const char* name;
    std::vector<std::string> command;
    int interruptAfterReads;   // 0: runs to its end
    const char* results[4];
    int exitCode;
  };
  const std::vector<Case> cases = {
      // Port 2 never ends: the run is cancelled once ports 1 and 3 are confirmed.
      {"program, Ctrl-C", {"program", "--address", "2", "--image", "1", "--ports", "1,2,3", "--json"}, 4,
       {"passed", "stopped", "failed", "not run"}, 3},
      {"program to its end", {"program", "--address", "2", "--image", "1", "--ports", "1,3", "--json"}, 0,
       {"passed", "not run", "failed", "not run"}, 1},
      {"array, Ctrl-C", {"array", "--run", "2:1:1,2,3", "--json"}, 4, {"passed", "stopped", "failed", "not run"}, 3},
  };
  for (const Case& c : cases) {
    std::vector<std::string> sim = {"--programmer", std::string("address=2,") + Unit, "--image",
                                    "slot=1,name=Board,device=9,family=0"};
    sim.insert(sim.end(), targets.begin(), targets.end());
    SimProcess simulator(sim);
    ASSERT_TRUE(simulator.ready()) << c.name;
    std::vector<std::string> args = c.command;
    args.insert(args.end(), {"--device", simulator.linkPath()});
    const auto [status, out] = RunCli(args, simulator, c.interruptAfterReads);
    EXPECT_EQ(status, c.exitCode) << c.name << "\n" << out;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(out), &error);
    ASSERT_TRUE(document.isObject()) << c.name << "\n" << out;
    const QJsonObject root = document.object();
    const QJsonArray ports = c.command[0] == std::string("array")
                                 ? root["units"].toArray()[0].toObject()["ports"].toArray()
                                 : root["ports"].toArray();
    ASSERT_EQ(ports.size(), 4) << c.name;
    int counted[5] = {};
    const char* kinds[5] = {"passed", "failed", "stopped", "line lost", "not run"};
    for (int port = 0; port < 4; ++port) {
      const QJsonObject p = ports[port].toObject();
      EXPECT_EQ(p["result"].toString().toStdString(), c.results[port]) << c.name << ", port " << port + 1;
      for (int k = 0; k < 5; ++k) counted[k] += p["result"].toString() == kinds[k];
    }
    // The port's label ended in its outcome, never in a busy state.
    if (c.interruptAfterReads > 0) {
      EXPECT_EQ(ports[1].toObject()["status"].toString(), "Stopped") << c.name;
      EXPECT_EQ(ports[0].toObject()["status"].toString(), "Done") << c.name;
      EXPECT_EQ(ports[0].toObject()["code"].toInt(), 0) << c.name;
    }
    EXPECT_EQ(root["passed"].toInt(), counted[0]) << c.name;
    EXPECT_EQ(root["failed"].toInt(), counted[1]) << c.name;
    EXPECT_EQ(root["stopped"].toInt(), counted[2]) << c.name;
    EXPECT_EQ(root["lineLost"].toInt(), counted[3]) << c.name;
    EXPECT_EQ(root["notRun"].toInt(), counted[4]) << c.name;
  }
}

}  // namespace
