// Starts the real vrx-sim and talks to it through its pseudo-terminal the
// way the PC does: plain termios, one write per frame.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "sim/Frame.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Only guards against a hang; a healthy exchange takes milliseconds.
constexpr int kGiveUpMs = 10000;

class SimProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vrxsim-proc-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    link_ = dir_ + "/line";
    log_ = dir_ + "/frames.log";
  }

  void TearDown() override {
    if (fd_ >= 0) close(fd_);
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
    unlink(log_.c_str());
    unlink(link_.c_str());
    rmdir(dir_.c_str());
  }

  // Starts vrx-sim and waits for its ready line; returns the line.
  std::string Start(const std::vector<std::string>& args) {
    int out[2];
    if (pipe(out) != 0) return "";
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
      std::vector<char*> argv{const_cast<char*>(VRX_SIM_PATH)};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(VRX_SIM_PATH, argv.data());
      _exit(127);
    }
    close(out[1]);
    std::string line;
    char c;
    pollfd p{out[0], POLLIN, 0};
    while (poll(&p, 1, kGiveUpMs) > 0 && read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    return line;
  }

  bool OpenLine(speed_t speed) {
    fd_ = open(link_.c_str(), O_RDWR | O_NOCTTY);
    return fd_ >= 0 && SetSpeed(speed);
  }

  bool SetSpeed(speed_t speed) {
    termios t{};
    if (tcgetattr(fd_, &t) != 0) return false;
    cfmakeraw(&t);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    return tcsetattr(fd_, TCSANOW, &t) == 0;
  }

  void Send(uint8_t address, const Bytes& payload) {
    Bytes frame = vrxsim::EncodeFrame(address, payload);
    ASSERT_EQ(write(fd_, frame.data(), frame.size()), ssize_t(frame.size()));
  }

  // Reads until one frame is complete; returns every frame byte received.
  Bytes ReceiveFrame(vrxsim::FrameDecoder& decoder) {
    Bytes wire;
    pollfd p{fd_, POLLIN, 0};
    while (poll(&p, 1, kGiveUpMs) > 0) {
      uint8_t buf[512];
      ssize_t n = read(fd_, buf, sizeof buf);
      if (n <= 0) break;
      for (ssize_t i = 0; i < n; ++i) {
        wire.push_back(buf[i]);
        if (decoder.feed(buf[i])) return wire;
      }
    }
    ADD_FAILURE() << "no complete reply";
    return wire;
  }

  std::string dir_, link_, log_;
  pid_t pid_ = -1;
  int fd_ = -1;
};

TEST_F(SimProcess, AnswersFwRevOverThePtyAtTheUnitsSpeedOnly) {
  std::string ready = Start({"--link", link_, "--log", log_, "--programmer", "address=1,fw=3.010,baud=115200",
                             "--programmer", "address=2,fw=2.005,baud=38400"});
  ASSERT_EQ(ready.rfind("vrx-sim ready /dev/", 0), 0u) << ready;
  char target[256] = {};
  ASSERT_GT(readlink(link_.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(ready, std::string("vrx-sim ready ") + target);
  ASSERT_TRUE(OpenLine(B115200));

  vrxsim::FrameDecoder decoder;
  Send(1, {0x00});
  Bytes wire = ReceiveFrame(decoder);
  EXPECT_EQ(wire, vrxsim::EncodeFrame(1, {0x80, 0x00, 10, 3}));

  // The 38400 unit must stay silent at 115200: had it answered, its reply
  // would come before the next one from address 1.
  Send(2, {0x00});
  Send(1, {0x00});
  wire = ReceiveFrame(decoder);
  EXPECT_EQ(wire, vrxsim::EncodeFrame(1, {0x80, 0x00, 10, 3}));

  ASSERT_TRUE(SetSpeed(B38400));
  Send(2, {0x00});
  wire = ReceiveFrame(decoder);
  EXPECT_EQ(wire, vrxsim::EncodeFrame(2, {0x80, 0x00, 5, 2}));

  // Every frame is logged, answered or not: time, address, payload.
  std::ifstream log(log_);
  std::vector<std::string> lines;
  for (std::string l; std::getline(log, l);) lines.push_back(l);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_NE(lines[1].find(" 2 00"), std::string::npos) << lines[1];

  // Stops cleanly on SIGTERM and takes its link away.
  ASSERT_EQ(kill(pid_, SIGTERM), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid_, &status, 0), pid_);
  pid_ = -1;
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  struct stat st {};
  EXPECT_NE(lstat(link_.c_str(), &st), 0);
}

}  // namespace
