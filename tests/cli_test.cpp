// kestrin-cli against vrx-sim: what scripts see on standard output, standard
// error and in the exit status.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "sim/Crc16.h"
#include "tests/support/HexText.h"
#include "tests/support/ProcessRun.h"
#include "tests/support/SimProcess.h"

namespace {

using Result = ProcessResult;

std::string ReadFile(const std::string& path) { return ReadWholeFile(path); }

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kestrin-cli-XXXXXX";
    dir = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);   // no settings of the user's
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  Result Run(const std::vector<std::string>& args) { return RunProcess(KESTRIN_CLI_PATH, args, dir); }

  std::string dir;
};

TEST_F(CliTest, ScanPrintsOneTabSeparatedLinePerProgrammer) {
  SimProcess sim({"--programmer", "address=2,type=1,fw=2.005,slots=4,slotsize=512,baud=38400", "--programmer",
                  "address=9,type=6,fw=3.010,slots=2,slotsize=64,baud=both"});
  ASSERT_TRUE(sim.ready());
  const Result r = Run({"scan", "--device", sim.linkPath()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "2\t38400\t2.005\t1\t4\t524288\n"
            "9\t38400\t3.010\t6\t2\t65536\n"
            "9\t115200\t3.010\t6\t2\t65536\n");
}

TEST_F(CliTest, FlashCommandsWriteReadAndCrc) {
  SimProcess sim({"--programmer", "address=6,type=6,fw=3.010,slots=4,slotsize=256,baud=115200"});
  ASSERT_TRUE(sim.ready());
  std::string data;
  for (int i = 0; i < 700; ++i) data += static_cast<char>((i * 37) & 0xFF);
  const std::string in = dir + "/in.bin", back = dir + "/back.bin";
  std::ofstream(in, std::ios::binary) << data;

  Result r = Run({"write-flash", "--device", sim.linkPath(), "--address", "6", "0x20000", in});
  ASSERT_EQ(r.status, 0) << r.err;
  r = Run({"read-flash", "--device", sim.linkPath(), "--address", "6", "0x20000", "700", "--out", back});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(back), data);

  r = Run({"read-flash", "--device", sim.linkPath(), "--address", "6", "&H20000", "18"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "00 25 4A 6F 94 B9 DE 03 28 4D 72 97 BC E1 06 2B\n50 75\n");

  r = Run({"crc", "--device", sim.linkPath(), "--address", "6", "131072", "700", "--baud", "115200"});
  ASSERT_EQ(r.status, 0) << r.err;
  const uint16_t crc = vrxsim::Crc16(reinterpret_cast<const uint8_t*>(data.data()), data.size());
  char expected[8];
  std::snprintf(expected, sizeof expected, "%02X%02X\n", crc & 0xFF, crc >> 8);
  EXPECT_EQ(r.out, expected);

  r = Run({"fwrev", "--device", sim.linkPath(), "--address", "6"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "3.010\n");
}

TEST_F(CliTest, FailuresPrintTheErrorReportAndExitNonZero) {
  SimProcess sim({"--programmer", "address=6,type=6,fw=3.010,slots=4,slotsize=256,baud=115200"});
  ASSERT_TRUE(sim.ready());
  Result r = Run({"fwrev", "--device", sim.linkPath(), "--address", "7"});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "Kestrin - Firmware Revision\nFunction: FwRev\nError Code:  1500\nSource: Send Command\n"
            "No Response from Programmer\n\nTried: COM1 (" + sim.linkPath() + "), address 7\n"
            "Check that the programmer is powered, set to this address and connected to " + sim.linkPath() + ".\n");

  r = Run({"fwrev", "--device", sim.linkPath(), "--address", "6", "--baud", "38400"});
  EXPECT_EQ(r.status, 3);

  r = Run({"read-flash", "--device", sim.linkPath(), "--address", "6", "0x3FFFF0", "32"});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("Error Code:  1002"), std::string::npos) << r.err;   // beyond the flash: bad parameter
}

// Commands that open the line report why it would not open, with the device.
TEST_F(CliTest, PortThatCannotOpenIsReportedWithItsReasonAndPath) {
  const std::string missing = dir + "/no-such-line";
  for (std::vector<std::string> args : {std::vector<std::string>{"scan"}, {"images", "--address", "2"},
                                        {"save", "--address", "2", "--image", "1", "--out", dir + "/x.hex"},
                                        {"fwrev", "--address", "2"}}) {
    args.insert(args.begin() + 1, {"--device", missing});
    const Result r = Run(args);
    EXPECT_EQ(r.status, 3) << args[0];
    EXPECT_EQ(r.out, "") << args[0];
    EXPECT_NE(r.err.find("Function: Open Communications Port\n"), std::string::npos) << args[0] << ": " << r.err;
    EXPECT_NE(r.err.find("Error Opening Communications Port - "), std::string::npos) << args[0] << ": " << r.err;
    EXPECT_NE(r.err.find("(" + missing + ")"), std::string::npos) << args[0] << ": " << r.err;
    EXPECT_EQ(r.err.find("No Programmers Found"), std::string::npos) << args[0] << ": " << r.err;
    const size_t code = r.err.find("Error Code:");
    ASSERT_NE(code, std::string::npos) << args[0] << ": " << r.err;
    const long number = std::strtol(r.err.c_str() + code + 11, nullptr, 10);
    EXPECT_NE(number, 0) << args[0] << ": " << r.err;
    EXPECT_NE(number, 1508) << args[0] << ": " << r.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir + "/x.hex"));
}

TEST_F(CliTest, ImagesPrintsTheGridOfTheSelectedProgrammer) {
  SimProcess sim({"--programmer", "address=4,type=2,fw=2.001,slots=4,slotsize=256,baud=38400",
                  "--image", "slot=1,name=Remote,device=9,family=1,voltage=3.3,mode=3,freq=18432,count=12,eename=Fib data",
                  "--image", "slot=4,name=IR blaster,device=43,family=5,voltage=3.0,mode=0,freq=800,protect=1"});
  ASSERT_TRUE(sim.ready());
  const Result r = Run({"images", "--device", sim.linkPath(), "--address", "4"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "Image\tRP\tImages Remaining\tImage Name\tDevice Family\tDevice Type\tVoltage\tMode\tClock Freq\t"
            "FIB 3 Image\n"
            "1\t\t12\tRemote              \tZ8 Encore! F64xx\tZ8F6421\t3.30\tRun\t18.432MHz\tFib data            \n"
            "2\t\t\t\t\t\t\t\t\t\n"
            "3\t\t\t\t\t\t\t\t\t\n"
            "4\tRP\tUnrestricted\tIR blaster          \tZLF645\tZLF645E0S2864\t3.00\tReset\t800 KHz\t<none>\n");
  // 2.001 is older than the newest generation-2 firmware: a warning, not a failure.
  EXPECT_NE(r.err.find("PLEASE NOTE: The firmware in this Programmer is obsolete."), std::string::npos) << r.err;
}

TEST_F(CliTest, ImagesOfAnAbsentProgrammer) {
  SimProcess sim({"--programmer", "address=4,type=2,fw=2.005,slots=4,slotsize=256,baud=38400"});
  ASSERT_TRUE(sim.ready());
  const Result r = Run({"images", "--device", sim.linkPath(), "--address", "9"});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("Error Code:  1508"), std::string::npos) << r.err;
}

TEST_F(CliTest, ProgramPrintsEachPortChangeAndFailsWhenAPortFails) {
  SimProcess sim({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--image",
                  "slot=1,name=Board,device=9,family=0", "--target", "port=2,result=19,program=4", "--target",
                  "port=3,present=0"});
  ASSERT_TRUE(sim.ready());
  Result r = Run({"program", "--device", sim.linkPath(), "--address", "2", "--image", "1", "--ports", "1,2,4"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.out.find("Port 1: Done\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Port 2: Device ID Failed\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Port 3: - Disabled -\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Port 4: Done\n"), std::string::npos) << r.out;

  r = Run({"program", "--device", sim.linkPath(), "--address", "2", "--image", "1", "--ports", "1,4", "--verify"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("Programming"), std::string::npos) << r.out;   // a verify run only verifies
  EXPECT_NE(r.out.find("Port 4: Done\n"), std::string::npos) << r.out;

  r = Run({"program", "--device", sim.linkPath(), "--address", "2", "--image", "2"});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("holds no image"), std::string::npos) << r.err;
}

// One flipped bit in a status reply makes a failing port read Done (16 -> 0
// on the only reply that ends the run) or a busy port read Done (1 -> 0 on
// the first poll): the run reads the status again and ends with the port's
// true state, so neither command passes it.
TEST_F(CliTest, ProgramAndArrayNeverPassAPortOnOneFlippedStatusReply) {
  const std::string unit = "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200";
  const std::string image = "slot=1,name=Board,device=9,family=0";
  struct Case {
    const char* name;
    std::vector<std::string> sim;
    std::vector<std::string> run;
    std::vector<std::string> printed;   // every line expected
    const char* never;                  // a line never printed
  };
  const std::vector<std::string> noVccAtOnce = {"--target", "port=1,present=0,step=0", "--target", "port=2,step=0",
                                                "--fault", "kind=flip,command=5,byte=2,bit=4,count=1"};
  const std::vector<std::string> verifyFailsLater = {"--target", "port=1,program=1:1:1,result=18,step=300", "--fault",
                                                     "kind=flip,command=5,byte=2,bit=0,count=1"};
  const std::vector<Case> cases = {
      {"program, 16 -> 0 on the last reply", noVccAtOnce, {"program", "--address", "2", "--image", "1", "--ports", "1,2"},
       {"Port 1: No Target Vcc\n", "Port 2: Done\n", ": 1 passed, 1 failed, 2 not run ("}, "Port 1: Done\n"},
      {"program, 1 -> 0 on the first poll", verifyFailsLater, {"program", "--address", "2", "--image", "1", "--ports", "1"},
       {"Port 1: Verify Failed\n", ": 0 passed, 1 failed, 3 not run ("}, "Port 1: Done\n"},
      {"array, 16 -> 0 on the last reply", noVccAtOnce, {"array", "--run", "2:1:1,2"},
       {"2\t1\tNo Target Vcc\n", "2\tport failed\tNo Target Vcc\tDone\t- Disabled -\t- Disabled -\n"}, "2\t1\tDone\n"},
      {"array, 1 -> 0 on the first poll", verifyFailsLater, {"array", "--run", "2:1:1"},
       {"2\tport failed\tVerify Failed\t- Disabled -\t- Disabled -\t- Disabled -\n"}, "2\t1\tDone\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> options = {"--programmer", unit, "--image", image};
    options.insert(options.end(), c.sim.begin(), c.sim.end());
    SimProcess sim(options);
    ASSERT_TRUE(sim.ready()) << c.name;
    std::vector<std::string> args = c.run;
    args.insert(args.end(), {"--device", sim.linkPath()});
    const Result r = Run(args);
    EXPECT_EQ(r.status, 1) << c.name << "\n" << r.out << r.err;   // a target failed
    for (const std::string& line : c.printed) EXPECT_NE(r.out.find(line), std::string::npos) << c.name << "\n" << r.out;
    EXPECT_EQ(r.out.find(c.never), std::string::npos) << c.name << "\n" << r.out;
    // The flipped reply was read again: more status reads than the run's polls.
    int statusReads = 0;
    for (const std::string& f : sim.loggedFrames()) statusReads += f.find(" 2 05") != std::string::npos;
    EXPECT_GE(statusReads, 3) << c.name;
  }
}

// A run of kestrin-cli interrupted (SIGINT) once `marker` shows on its
// standard output; what it printed in all and how it ended.
struct Interrupted {
  int raw = 0;   // waitpid status
  std::string text;
};
Interrupted RunAndInterrupt(const std::vector<std::string>& args, const std::string& marker) {
  Interrupted run;
  int output = -1;
  const pid_t pid = SpawnWithOutputPipe(KESTRIN_CLI_PATH, args, output);
  if (pid < 0) return run;
  char buffer[256];
  ssize_t n = 0;
  while (run.text.find(marker) == std::string::npos && (n = read(output, buffer, sizeof buffer)) > 0) {
    run.text.append(buffer, static_cast<size_t>(n));
  }
  kill(pid, SIGINT);
  while ((n = read(output, buffer, sizeof buffer)) > 0) run.text.append(buffer, static_cast<size_t>(n));
  close(output);
  waitpid(pid, &run.raw, 0);
  return run;
}

TEST_F(CliTest, InterruptCancelsTheRunOnce) {
  SimProcess sim({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--image",
                  "slot=1,name=Board,device=9,family=0", "--target", "port=1,program=4:1:1:1:1:2,step=400"});
  ASSERT_TRUE(sim.ready());
  const Interrupted run = RunAndInterrupt({"program", "--device", sim.linkPath(), "--address", "2", "--image", "1",
                                           "--ports", "1"},
                                          "Port 1: Programming");
  ASSERT_TRUE(WIFEXITED(run.raw)) << "ended by a signal instead of cancelling";
  EXPECT_EQ(WEXITSTATUS(run.raw), 3);
  const std::string& text = run.text;
  EXPECT_EQ(text.find("Port 1: Done"), std::string::npos) << text;

  const std::vector<std::string> frames = sim.loggedFrames();
  int cancels = 0;
  for (const std::string& f : frames) cancels += f.find(" 2 06") != std::string::npos;
  EXPECT_EQ(cancels, 1);
  ASSERT_FALSE(frames.empty());
  EXPECT_NE(frames.back().find(" 2 06"), std::string::npos) << frames.back();   // no status read after it
}

TEST_F(CliTest, ArrayRunsUnitsInOrderPrintsEveryChangeAndASummaryPerUnit) {
  SimProcess sim({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--image",
                  "address=2,slot=1,name=A,device=9,family=0", "--programmer",
                  "address=4,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--image",
                  "address=4,slot=3,name=B,device=9,family=0", "--target", "address=4,port=2,result=18", "--programmer",
                  "address=6,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--image",
                  "address=6,slot=1,name=C,device=9,family=0", "--target", "address=6,port=1,program=4:1:1:1:2"});
  ASSERT_TRUE(sim.ready());
  Result r = Run({"array", "--device", sim.linkPath(), "--run", "2:1:1,3", "--run", "4:3", "--run", "6:1", "--verify"});
  EXPECT_EQ(r.status, 1) << r.err;
  for (const char* line : {"2\t1\tDone\n", "2\t2\t- Disabled -\n", "4\t2\tVerify Failed\n", "4\t4\tDone\n",
                           "6\t1\tProgramming\n", "6\t1\tDone\n"}) {
    EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;
  }
  const std::string summary = "2\tdone\tDone\t- Disabled -\tDone\t- Disabled -\n"
                              "4\tport failed\tDone\tVerify Failed\tDone\tDone\n"
                              "6\tdone\tDone\tDone\tDone\tDone\n";
  ASSERT_GE(r.out.size(), summary.size());
  EXPECT_EQ(r.out.substr(r.out.size() - summary.size()), summary) << r.out;
  // Started in the order given: enable byte (ports 1 and 3, verify) and Program with slot 3 as 2.
  std::vector<std::string> starts;
  for (const std::string& f : sim.loggedFrames()) {
    // "time address code payload…"
    const size_t code = f.find(' ', f.find(' ') + 1) + 1;
    if (f.compare(code, 3, "07 ") == 0 || f.compare(code, 3, "04 ") == 0) starts.push_back(f);
  }
  ASSERT_EQ(starts.size(), 6u);
  EXPECT_NE(starts[0].find(" 2 07 1A"), std::string::npos) << starts[0];   // 0x15 sent with the ports inverted
  EXPECT_NE(starts[3].find(" 4 04 02"), std::string::npos) << starts[3];
  EXPECT_NE(starts[5].find(" 6 04 00"), std::string::npos) << starts[5];

  r = Run({"array", "--device", sim.linkPath(), "--run", "2:1", "--run", "4:2"});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("image slot 2 of the programmer at address 4 holds no image"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
}

// No programmer is selected on the command line: each unit's own type names
// the second memory in its status lines.
TEST_F(CliTest, ArrayStatusLinesNameEachUnitsOwnSecondMemory) {
  SimProcess sim({"--programmer", "address=2,type=1,fw=3.010,slots=4,slotsize=256,baud=115200", "--image",
                  "address=2,slot=1,name=A", "--target", "address=2,port=1,program=8:9,step=500", "--programmer",
                  "address=4,type=2,fw=3.010,slots=4,slotsize=256,baud=115200", "--image", "address=4,slot=1,name=B",
                  "--target", "address=4,port=1,program=8:9,step=500,result=24"});
  ASSERT_TRUE(sim.ready());
  const Result r = Run({"array", "--device", sim.linkPath(), "--run", "2:1:1", "--run", "4:1:1"});
  EXPECT_EQ(r.status, 1) << r.err;
  for (const char* line : {"2\t1\tProgramming EEPROM\n", "2\t1\tVerifying EEPROM\n", "4\t1\tProgramming FIB3\n",
                           "4\t1\tVerifying FIB3\n", "4\t1\tFIB3 Verify Failed\n"}) {
    EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;
  }
}

TEST_F(CliTest, InterruptedArrayCancelsEveryStartedUnitOnce) {
  SimProcess sim({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--image",
                  "address=2,slot=1,name=A,device=9,family=0", "--target", "address=2,port=1,program=4:1:1:1:1:2,step=400",
                  "--programmer", "address=3,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--image",
                  "address=3,slot=1,name=B,device=9,family=0", "--target", "address=3,port=1,program=4:1:1:1:1:2,step=400"});
  ASSERT_TRUE(sim.ready());
  const Interrupted run = RunAndInterrupt({"array", "--device", sim.linkPath(), "--run", "2:1:1", "--run", "3:1:1"},
                                          "3\t1\tProgramming");
  ASSERT_TRUE(WIFEXITED(run.raw)) << "ended by a signal instead of cancelling";
  EXPECT_EQ(WEXITSTATUS(run.raw), 3);
  const std::string& text = run.text;
  EXPECT_NE(text.find("2\tcancelled\t"), std::string::npos) << text;
  EXPECT_NE(text.find("3\tcancelled\t"), std::string::npos) << text;

  const std::vector<std::string> frames = sim.loggedFrames();
  int cancels2 = 0, cancels3 = 0;
  for (const std::string& f : frames) {
    cancels2 += f.find(" 2 06") != std::string::npos;
    cancels3 += f.find(" 3 06") != std::string::npos;
  }
  EXPECT_EQ(cancels2, 1);
  EXPECT_EQ(cancels3, 1);
}

TEST_F(CliTest, DeleteEmptiesTheSlot) {
  SimProcess sim({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--image",
                  "slot=3,name=Old,device=9,family=0"});
  ASSERT_TRUE(sim.ready());
  Result r = Run({"delete", "--device", sim.linkPath(), "--address", "2", "--image", "3"});
  EXPECT_EQ(r.status, 0) << r.err;
  r = Run({"images", "--device", sim.linkPath(), "--address", "2"});
  EXPECT_NE(r.out.find("\n3\t\t\t\t"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Old"), std::string::npos) << r.out;
}

TEST_F(CliTest, LoadConvertsDownloadsAndPrintsBothChecksums) {
  SimProcess sim({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200"});
  ASSERT_TRUE(sim.ready());
  const std::string hex = dir + "/board.hex", ee = dir + "/board.eep";
  std::ofstream(hex) << DataRecord(0, {0x10, 0x20}) + DataRecord(0x100, {0x30}) + EndRecord();
  std::ofstream(ee) << DataRecord(4, {0x44}) + EndRecord();
  Result r = Run({"load", "--device", sim.linkPath(), "--address", "2", "--image", "2", "--device-type",
                  "ATmega328P", "--file", hex, "--eeprom", ee, "--eeprom-name", "Cal", "--name", "Board",
                  "--voltage", "5", "--freq", "8000", "--count", "500"});
  ASSERT_EQ(r.status, 0) << r.err;
  // File checksum: the three bytes; entire image: 32 KiB of them with 0xFF everywhere else.
  const uint32_t entire = 0x10 + 0x20 + 0x30 + (32768 - 3) * 0xFF;
  char expected[160];
  std::snprintf(expected, sizeof expected,
                "Image Load Complete\n  File Checksum = 00000060\n  Entire Image Checksum = %08X\n", entire);
  EXPECT_EQ(r.out, expected);
  r = Run({"images", "--device", sim.linkPath(), "--address", "2"});
  EXPECT_NE(r.out.find("\n2\t\t500\tBoard               \tATmega\tATmega328P\t5.00\tSPI 8 MHz\t\tCal      "),
            std::string::npos)
      << r.out;

  r = Run({"load", "--device", sim.linkPath(), "--address", "2", "--image", "1", "--device-type", "ATmega328P",
           "--file", dir + "/missing.hex"});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("missing.hex"), std::string::npos) << r.err;
  r = Run({"load", "--device", sim.linkPath(), "--address", "2", "--image", "1", "--device-type", "NoSuchPart",
           "--file", hex});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("NoSuchPart"), std::string::npos) << r.err;
}

// Commands the simulator received, by code (the payload's first byte as hex).
int FramesWithCode(const SimProcess& sim, const char* code) {
  int n = 0;
  for (const std::string& line : sim.loggedFrames()) {
    char payload[8] = "";
    if (std::sscanf(line.c_str(), "%*s %*d %7s", payload) == 1 && std::string(payload, 2) == code) ++n;
  }
  return n;
}

TEST_F(CliTest, SerializedLoadGivesFourPortsConsecutiveNumbersInTheirTargets) {
  SimProcess sim({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--target",
                  "port=1,step=50", "--target", "port=2,step=50", "--target", "port=3,step=50", "--target",
                  "port=4,step=50,read=6,memsize=64"});
  ASSERT_TRUE(sim.ready());
  const std::string hex = dir + "/board.hex";
  std::ofstream(hex) << DataRecord(0, {0x10, 0x20}) + EndRecord();
  Result r = Run({"load", "--device", sim.linkPath(), "--address", "2", "--image", "1", "--device-type", "ATmega328P",
                  "--file", hex, "--serial-memory", "flash", "--serial-address", "0x10", "--serial-size", "4",
                  "--serial-order", "msb", "--serial-next", "0x3FE"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = Run({"serial", "--device", sim.linkPath(), "--address", "2", "--image", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "memory\tflash\naddress\t0x10\nsize\t4\norder\tmsb\nnext\t0000001022\t0x000003FE\n"
            "port 1\t0000000000\t0x00000000\nport 2\t0000000000\t0x00000000\n"
            "port 3\t0000000000\t0x00000000\nport 4\t0000000000\t0x00000000\n");

  r = Run({"program", "--device", sim.linkPath(), "--address", "2", "--image", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = Run({"serial", "--device", sim.linkPath(), "--address", "2", "--image", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "memory\tflash\naddress\t0x10\nsize\t4\norder\tmsb\nnext\t0000001026\t0x00000402\n"
            "port 1\t0000001022\t0x000003FE\nport 2\t0000001023\t0x000003FF\n"
            "port 3\t0000001024\t0x00000400\nport 4\t0000001025\t0x00000401\n");

  // What port 4's target now holds, read back through a slot: the pattern
  // 0, 1, 2, … with 00 00 04 01 at 0x10, most significant byte first.
  r = Run({"read-target", "--device", sim.linkPath(), "--address", "2", "--image", "2", "--target-port", "4",
           "--device-type", "ATtiny10"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string saved = dir + "/target.hex";
  r = Run({"save", "--device", sim.linkPath(), "--address", "2", "--image", "2", "--out", saved});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<uint8_t> first(32);
  for (int i = 0; i < 32; ++i) first[i] = static_cast<uint8_t>(i);
  first[0x10] = 0x00;
  first[0x11] = 0x00;
  first[0x12] = 0x04;
  first[0x13] = 0x01;
  EXPECT_EQ(ReadFile(saved).substr(0, DataRecord(0, first).size()), DataRecord(0, first));
}

TEST_F(CliTest, SerialNumberOutsideTheDeviceOrTheSizeIsRefusedBeforeAnythingIsSent) {
  SimProcess sim({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200"});
  ASSERT_TRUE(sim.ready());
  const std::string hex = dir + "/board.hex";
  std::ofstream(hex) << DataRecord(0, {0x10, 0x20}) + EndRecord();
  struct Case {
    std::vector<std::string> serial;
    int status;
    const char* message;
  };
  const Case cases[] = {
      // ATmega328P has 32768 bytes of flash: 4 bytes from 0x7FFE pass its end.
      {{"--serial-address", "7FFE", "--serial-size", "4", "--serial-next", "1"}, 3,
       "Serial Number Address Out of Range for Device (4 bytes at 0x7FFE; ATmega328P flash has 32768 bytes)"},
      {{"--serial-address", "10", "--serial-size", "2", "--serial-next", "65536"}, 2,
       "--serial-next 65536: The serial number does not fit in 2 bytes: the largest is 65535."},
      {{"--serial-address", "10", "--serial-size", "2", "--serial-next", "0x10000"}, 2,
       "does not fit in 2 bytes: the largest is FFFF"},
      {{"--serial-address", "10", "--serial-size", "3", "--serial-next", "1"}, 2, "--serial-size takes 2, 4 or 6"},
      {{"--serial-address", "10", "--serial-size", "2", "--serial-next", "12x"}, 2, "only hold the digits 0 to 9"},
  };
  // Selecting a fresh unit seals its security block once; after that a refused load writes nothing.
  ASSERT_EQ(Run({"images", "--device", sim.linkPath(), "--address", "2"}).status, 0);
  const int writesBefore = FramesWithCode(sim, "01");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    std::vector<std::string> args{"load", "--device", sim.linkPath(), "--address", "2", "--image", "3",
                                  "--device-type", "ATmega328P", "--file", hex, "--serial-memory", "flash"};
    args.insert(args.end(), c.serial.begin(), c.serial.end());
    const Result r = Run(args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(FramesWithCode(sim, "01"), writesBefore);   // no WriteFlash
  EXPECT_EQ(FramesWithCode(sim, "0C"), 0);   // no WriteSerialization

  // The last four bytes are inside.
  const Result r = Run({"load", "--device", sim.linkPath(), "--address", "2", "--image", "3", "--device-type",
                        "ATmega328P", "--file", hex, "--serial-memory", "flash", "--serial-address", "7FFC",
                        "--serial-size", "4", "--serial-next", "1"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(FramesWithCode(sim, "0C"), 1);
}

// The line flips or drops one reply: nothing the program writes back may lose
// another slot's protection or count, store an unchecked CRC, or leave the
// old name over new data.
class CliLineFaultTest : public CliTest {
 protected:
  static constexpr const char* Unit = "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200";
  static constexpr const char* Guarded = "slot=1,name=Guarded,device=9,family=0,count=250,protect=1";

  std::vector<uint8_t> ReadBytes(SimProcess& sim, uint32_t address, int count) {
    const Result r = Run({"read-flash", "--device", sim.linkPath(), "--address", "2", std::to_string(address),
                          std::to_string(count)});
    std::vector<uint8_t> bytes;
    for (size_t at = 0; at + 1 < r.out.size(); at += 3) bytes.push_back(std::stoi(r.out.substr(at, 2), nullptr, 16));
    return bytes;
  }
  // Slot 1's count and read-protect flag as the security block holds them, and whether its seal holds.
  void ExpectSlot1Guarded(SimProcess& sim) {
    const std::vector<uint8_t> block = ReadBytes(sim, 0x20, 32);
    ASSERT_EQ(block.size(), 32u);
    EXPECT_EQ(block[0] | block[1] << 8 | block[2] << 16 | block[3] << 24, 250);
    EXPECT_EQ(block[4] & 1, 1);
    EXPECT_EQ(block[30] | block[31] << 8, vrxsim::Crc16(block.data(), 30));
  }
  std::string Hex() {
    const std::string hex = dir + "/job.hex";
    std::ofstream(hex) << DataRecord(0, {0x10, 0x20, 0x30}) + DataRecord(0x4000, {0x40}) + EndRecord();
    return hex;
  }
  Result Load(SimProcess& sim, const std::string& slot) {
    return Run({"load", "--device", sim.linkPath(), "--address", "2", "--image", slot, "--device-type",
                "ATmega328P", "--file", Hex(), "--name", "New"});
  }
};

TEST_F(CliLineFaultTest, AFlippedOrLostSecurityReplyNeverWipesProtection) {
  for (const char* kind : {"corrupt", "drop"}) {
    for (int after = 0; after < 6; ++after) {
      SCOPED_TRACE(std::string(kind) + " after " + std::to_string(after));
      const std::string fault = std::string("kind=") + kind + ",command=0x02,after=" + std::to_string(after) + ",count=1";
      SimProcess sim({"--programmer", Unit, "--image", Guarded, "--fault", fault});
      ASSERT_TRUE(sim.ready());
      const Result load = Load(sim, "3");
      ExpectSlot1Guarded(sim);
      const Result images = Run({"images", "--device", sim.linkPath(), "--address", "2"});
      ASSERT_EQ(images.status, 0) << images.err;
      EXPECT_NE(images.out.find("\n1\tRP\t250\tGuarded"), std::string::npos) << images.out;
      if (load.status == 0) { EXPECT_NE(images.out.find("\n3\t\tUnrestricted\tNew"), std::string::npos) << images.out; }
    }
  }
}

TEST_F(CliLineFaultTest, AFlippedCrcReplyIsNeverStored) {
  for (int after = 0; after < 5; ++after) {
    SCOPED_TRACE("CRC reply " + std::to_string(after) + " flipped");
    SimProcess sim({"--programmer", Unit, "--image", Guarded, "--fault",
                    "kind=corrupt,command=0x03,after=" + std::to_string(after) + ",count=1"});
    ASSERT_TRUE(sim.ready());
    const Result load = Load(sim, "2");
    ExpectSlot1Guarded(sim);
    const std::vector<uint8_t> entry = ReadBytes(sim, 0x60, 32);
    ASSERT_EQ(entry.size(), 32u);
    if (load.status != 0) {
      EXPECT_EQ(entry[0] | entry[1] << 8 | entry[2] << 16 | entry[3] << 24, 0);   // marked empty
      continue;
    }
    std::vector<uint8_t> image(32768, 0xFF);   // what the file puts in an ATmega328P
    image[0] = 0x10;
    image[1] = 0x20;
    image[2] = 0x30;
    image[0x4000] = 0x40;
    EXPECT_EQ(entry[4] | entry[5] << 8, vrxsim::Crc16(image.data(), image.size()));
  }
}

TEST_F(CliLineFaultTest, AnInterruptedDownloadLeavesAnEmptySlotNotTheOldName) {
  SimProcess sim({"--programmer", Unit, "--image", "slot=2,name=Old,device=9,family=0", "--fault",
                  "kind=drop,command=0x01,after=64,count=1000"});
  ASSERT_TRUE(sim.ready());
  const Result load = Load(sim, "2");
  EXPECT_NE(load.status, 0);
  EXPECT_NE(load.err.find("No Response from Programmer"), std::string::npos) << load.err;
  const Result images = Run({"images", "--device", sim.linkPath(), "--address", "2"});
  EXPECT_EQ(images.out.find("Old"), std::string::npos) << images.out;
  const size_t row = images.out.find("\n2\t");
  ASSERT_NE(row, std::string::npos) << images.out;
  const std::string cells = images.out.substr(row + 2, images.out.find('\n', row + 1) - row - 2);
  EXPECT_EQ(cells.find_first_not_of('\t'), std::string::npos) << cells;   // an empty slot shows its number only
  const Result save = Run({"save", "--device", sim.linkPath(), "--address", "2", "--image", "2", "--out",
                           dir + "/mixed.hex"});
  EXPECT_NE(save.status, 0);
  EXPECT_FALSE(std::filesystem::exists(dir + "/mixed.hex"));
}

TEST_F(CliTest, LoadFromAProjectFile) {
  SimProcess sim({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200"});
  ASSERT_TRUE(sim.ready());
  const std::string hex = dir + "/p.hex", project = dir + "/p.vrx";
  std::ofstream(hex) << DataRecord(0, {0x01, 0x02}) + EndRecord();
  std::ofstream(project) << "\"Name: From project\"\r\n\"Family: ATmega\"\r\n\"Device: ATmega328P\"\r\n"
                            "\"Mode: 1\"\r\n\"Freq: 16000\"\r\n\"Voltage: 250\"\r\n\"File0: " + hex + "\"\r\n";
  Result r = Run({"load", "--project", project, "--device", sim.linkPath(), "--address", "2", "--image", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("File Checksum = 00000003"), std::string::npos) << r.out;
  r = Run({"images", "--device", sim.linkPath(), "--address", "2"});
  EXPECT_NE(r.out.find("\n1\t\tUnrestricted\tFrom project        \tATmega\tATmega328P\t5.00\tSPI 16 MHz"),
            std::string::npos)
      << r.out;

  std::ofstream(project) << "\"File0: " + dir + "/gone.hex\"\r\n";
  r = Run({"load", "--project", project, "--device", sim.linkPath(), "--address", "2", "--image", "1"});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("File Not Found " + dir + "/gone.hex"), std::string::npos) << r.err;
}

// WriteFlash frames (command 01) the simulator received.
int WriteFrames(const SimProcess& sim) {
  int writes = 0;
  for (const std::string& line : sim.loggedFrames()) {
    char payload[8] = "";
    if (std::sscanf(line.c_str(), "%*s %*d %7s", payload) == 1 && std::string(payload) == "01") ++writes;
  }
  return writes;
}

TEST_F(CliTest, BadInputFileLeavesTheSlotsImageAndSendsNothing) {
  SimProcess sim({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200"});
  ASSERT_TRUE(sim.ready());
  const std::string good = dir + "/good.hex";
  std::ofstream(good) << DataRecord(0, {0x11, 0x22}) + EndRecord();
  const std::vector<std::string> load{"load", "--device", sim.linkPath(), "--address", "2", "--image", "1",
                                      "--device-type", "ATmega328P", "--name", "Good"};
  std::vector<std::string> args = load;
  args.insert(args.end(), {"--file", good});
  Result r = Run(args);
  ASSERT_EQ(r.status, 0) << r.err;
  const int writesAfterGoodLoad = WriteFrames(sim);
  ASSERT_GT(writesAfterGoodLoad, 0);

  const std::string fifo = dir + "/pipe.hex", huge = dir + "/huge.hex";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  { std::ofstream create(huge); }
  ASSERT_EQ(truncate(huge.c_str(), 1LL << 30), 0);   // sparse: takes no room
  std::vector<std::string> bad{"/dev/null", "/dev/zero", dir, fifo, huge};
  for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
           {"empty.hex", ""},
           {"nuls.hex", std::string(1000, '\0')},
           {"cut.hex", DataRecord(0, {0x33, 0x44}) + ":02000200"},
           {"noend.hex", DataRecord(0, {0x33, 0x44})},
       }) {
    bad.push_back(dir + "/" + name);
    std::ofstream(bad.back(), std::ios::binary) << text;
  }
  for (const std::string& path : bad) {
    args = load;
    args.insert(args.end(), {"--file", path});
    r = Run(args);
    EXPECT_EQ(r.status, 3) << path;
    EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("Image Load Complete"), std::string::npos) << r.out;
  }
  const std::string project = dir + "/nofile.vrx";
  std::ofstream(project) << "\"Name: Blank\"\r\n\"Family: ATmega\"\r\n\"Device: ATmega328P\"\r\n";
  r = Run({"load", "--project", project, "--device", sim.linkPath(), "--address", "2", "--image", "1"});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("No Image File (File0) in Project: " + project), std::string::npos) << r.err;

  EXPECT_EQ(WriteFrames(sim), writesAfterGoodLoad);
  r = Run({"images", "--device", sim.linkPath(), "--address", "2"});
  EXPECT_NE(r.out.find("\n1\t\tUnrestricted\tGood                \tATmega\tATmega328P"), std::string::npos) << r.out;
}

// The program's data files with a fuse file of the test's own for ATmega328P
// (device code 9): lock, low, high and extended bytes.
class CliFuseTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    data = dir + "/data";
    std::filesystem::create_directory(data);
    const std::filesystem::path bin = std::filesystem::path(KESTRIN_CLI_PATH).parent_path();
    for (const auto& entry : std::filesystem::directory_iterator(bin)) {
      if (entry.path().extension() == ".inf") std::filesystem::copy(entry.path(), data / entry.path().filename());
    }
    WriteFuses(Fuses);
    ASSERT_TRUE(sim.ready());
  }
  void WriteFuses(const std::string& text) { std::ofstream(data + "/AVRFuses.inf", std::ios::binary) << text; }
  Result Cli(std::vector<std::string> args) {
    args.insert(args.end(), {"--device", sim.linkPath(), "--address", "2", "--data-dir", data});
    return Run(args);
  }
  Result Load(std::vector<std::string> options) {
    const std::string hex = dir + "/fused.hex", ee = dir + "/fused.eep";
    std::ofstream(hex) << DataRecord(0, {0x0C, 0x94}) + EndRecord();
    std::ofstream(ee) << DataRecord(0x3FE, {0xCA}) + EndRecord();
    std::vector<std::string> args{"load", "--image", "3", "--device-type", "ATmega328P", "--file", hex,
                                  "--eeprom", ee, "--eeprom-name", "Cal", "--name", "Fused"};
    args.insert(args.end(), options.begin(), options.end());
    return Cli(args);
  }
  std::string OptionRecord() { return Cli({"read-flash", "0x300", "13"}).out; }

  static constexpr const char* Fuses =
      "ID%9%ATmega328P%16%3\r\n"
      "BYTE%0%LOCK%%\r\n"
      "FIELD%LB%Memory lock%&H03%&H03\r\nOPTION%No lock%&H03%%\r\nOPTION%Write locked%&H02%%\r\n"
      "BYTE%1%LOW%%\r\n"
      "FIELD%CKDIV8%Divide clock by 8%&H80%&H00\r\nOPTION%Divided%&H00%%\r\nOPTION%Not divided%&H80%%\r\n"
      "FIELD%SUT_CKSEL%Clock source%&H3F%&H22\r\nOPTION%Int. RC 8 MHz%&H22%%\r\nOPTION%Ext. crystal%&H3F%%\r\n"
      "BYTE%2%HIGH%%\r\n"
      "FIELD%EESAVE%Keep EEPROM at erase%&H08%&H08\r\nOPTION%No%&H08%%\r\nOPTION%Yes%&H00%%\r\n"
      "BYTE%3%EXTENDED%%\r\n"
      "FIELD%BODLEVEL%Brown-out level%&H07%&H07\r\nOPTION%Off%&H07%%\r\nOPTION%2.7 V%&H05%%\r\n"
      "ENDID%%%%\r\n";

  std::string data;
  SimProcess sim{{"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200"}};
};

TEST_F(CliFuseTest, FusesListsEveryFieldWithItsOptionsAndTheCurrentOneMarked) {
  Result r = Cli({"fuses", "--device-type", "ATmega328P"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "# byte\tname\tvalue\tfield\tdescription\tmask\toptions (* current)\n"
            "0\tLOCK\tFF\tLB\tMemory lock\t03\t*No lock=03\tWrite locked=02\n"
            "1\tLOW\t62\tCKDIV8\tDivide clock by 8\t80\t*Divided=00\tNot divided=80\n"
            "1\tLOW\t62\tSUT_CKSEL\tClock source\t3F\t*Int. RC 8 MHz=22\tExt. crystal=3F\n"
            "2\tHIGH\tFF\tEESAVE\tKeep EEPROM at erase\t08\t*No=08\tYes=00\n"
            "3\tEXTENDED\tFF\tBODLEVEL\tBrown-out level\t07\t*Off=07\t2.7 V=05\n"
            "osccal\tNONE\tINTERNAL\n");

  r = Cli({"fuses", "--device-type", "ATmega328P", "--fuses", "FE,FF,F7,FD"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("1\tLOW\tFF\tSUT_CKSEL\tClock source\t3F\tInt. RC 8 MHz=22\t*Ext. crystal=3F\n"),
            std::string::npos)
      << r.out;
}

TEST_F(CliFuseTest, LoadStoresExactlyTheChosenOptions) {
  // The fuse file's defaults when no fuses are given.
  Result r = Load({});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(OptionRecord(), "00 00 00 00 00 62 FF FF FF 00 00 00 FF\n");

  r = Load({"--fuses", "fe,FF,f7,FD", "--osccal", "INTERNAL", "--osccal-memory", "eeprom", "--osccal-address", "3FF"});
  ASSERT_EQ(r.status, 0) << r.err;
  // 8 MHz into EEPROM at 3FF; low, high, extended, lock.
  EXPECT_EQ(OptionRecord(), "18 FF 03 00 00 FF F7 FD FE 00 00 00 FF\n");
  r = Cli({"images"});
  EXPECT_NE(r.out.find("\n3\t\tUnrestricted\tFused               \tATmega\tATmega328P"), std::string::npos) << r.out;
}

TEST_F(CliFuseTest, RefusedOptionsSendNothing) {
  ASSERT_EQ(Load({"--fuses", "FE,FF,F7,FD"}).status, 0);
  const std::string stored = OptionRecord();
  const int writes = WriteFrames(sim);
  struct Case {
    std::vector<std::string> options;
    std::string error;
  };
  const std::vector<Case> cases = {
      {{"--fuses", "FE,FF,F7,F9"}, "Invalid Fuse Value: F9 for fuse byte 3 (EXTENDED)"},   // 001 is no level
      {{"--fuses", "FE,FF,F7,1FD"}, "Invalid Fuse Value: 1FD for fuse byte 3"},
      {{"--fuses", "FE,FF,F7"}, "--fuses needs 4 bytes for ATmega328P, given 3"},
      {{"--fuses", "FE,FF,F7,XY"}, "--fuses takes hex bytes"},
      {{"--osccal", "4MHZ"}, "ATmega328P offers no calibration value 4MHZ (it offers NONE, INTERNAL)"},
      {{"--osccal", "INTERNAL", "--osccal-memory", "eeprom", "--osccal-address", "400"},
       "Address Out of Range for Device: 400"},
      {{"--osccal-address", "10"}, "--osccal-address go with --osccal"},
      {{"--jtag-id", "9502,0"}, "--jtag-id needs an AVR image with the JTAG interface"},
      {{"--avr32-security"}, "--avr32-security is for AVR32 programmers"},
  };
  for (const Case& c : cases) {
    const Result r = Load(c.options);
    EXPECT_EQ(r.status, 3) << c.error;
    EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
  }
  // A fuse file that cannot be read refuses the load with the parser's text.
  WriteFuses("ID%9%ATmega328P%16%3\r\nBYTE%0%LOCK%%\r\n");
  Result r = Load({});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("Unexpected EOF in Fuse File"), std::string::npos) << r.err;
  std::filesystem::remove(data + "/AVRFuses.inf");
  r = Load({});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("Cannot read the fuse definition file"), std::string::npos) << r.err;

  EXPECT_EQ(WriteFrames(sim), writes);
  EXPECT_EQ(OptionRecord(), stored);
}

// A Z8 Encore! programmer at address 2 and an AVR one at 3, with the
// delivered device file; images with option bytes read back from the slots.
class CliOptionBytesTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    ASSERT_TRUE(sim.ready());
    hex = dir + "/z8.hex";
    std::ofstream(hex) << DataRecord(0, {0x12, 0x34, 0x56}) + EndRecord();
  }
  Result Cli(std::vector<std::string> args, const char* address = "2") {
    args.insert(args.end(), {"--device", sim.linkPath(), "--address", address});
    return Run(args);
  }
  Result Load(const std::string& device, const std::string& bytes, const char* address = "2") {
    return Cli({"load", "--image", "3", "--device-type", device, "--file", hex, "--name", "Opt", "--option-bytes",
                bytes},
               address);
  }
  // A word of the flash map block (0 image base, 1 slot size, 2 second-memory base, 3 its slot size).
  uint32_t MapWord(int index) {
    const Result r = Cli({"read-flash", std::to_string(0xF00 + 4 * index), "4"});
    unsigned b[4] = {};
    EXPECT_EQ(std::sscanf(r.out.c_str(), "%x %x %x %x", &b[0], &b[1], &b[2], &b[3]), 4) << r.out << r.err;
    return b[0] | b[1] << 8 | b[2] << 16 | b[3] << 24;
  }
  std::string Slot3(uint32_t offset, int count) {
    return Cli({"read-flash", std::to_string(MapWord(0) + 2 * MapWord(1) + offset), std::to_string(count)}).out;
  }
  std::string Fib3Page3(uint32_t offset, int count) {
    return Cli({"read-flash", std::to_string(MapWord(2) + 2 * MapWord(3) + offset), std::to_string(count)}).out;
  }

  std::string hex;
  SimProcess sim{{"--programmer", "address=2,type=2,fw=3.010,slots=4,slotsize=256,baud=115200", "--programmer",
                  "address=3,type=6,fw=3.010,slots=4,slotsize=256,baud=115200"}};
};

TEST_F(CliOptionBytesTest, LoadWritesTheBytesOverTheFilesOnes) {
  // Z8F6421 (variant 2): read and flash protect.
  Result r = Load("Z8F6421", "FA,FF");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Slot3(0, 4), "FA FF 56 FF\n");
  // Z8F0830 (variant 3): watchdog interrupt, OSC_SEL 11, VBO_AO 1, RP and FWP; VBO_RES and XTLDIS 0.
  r = Load("Z8F0830", "0x7A,6f");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Slot3(0, 4), "7A 6F 56 FF\n");
  // ZLF645: an erased FIB3 page carrying FLRWP = 0 and the pull-ups of ports 4 and 2 on.
  r = Load("ZLF645E0S2864", "AF,FE");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Slot3(0, 4), "12 34 56 FF\n");
  EXPECT_EQ(Fib3Page3(0xFC, 4), "FF FF AF FE\n");
  r = Cli({"images"});
  EXPECT_NE(r.out.find("\n3\t"), std::string::npos) << r.out;
}

TEST_F(CliOptionBytesTest, RefusedBytesSendNothing) {
  ASSERT_EQ(Load("Z8F6421", "FA,FF").status, 0);
  ASSERT_EQ(Cli({"images"}, "3").status, 0);   // a first selection writes a fresh security block
  const int writes = WriteFrames(sim);
  struct Case {
    const char* device;
    const char* bytes;
    const char* address;
    std::string error;
  };
  for (const Case& c : {
           // F64xx parts have no high sector write protect (bit 1) and nothing in byte 1.
           Case{"Z8F6421", "F8,FF", "2", "--option-bytes for Z8F6421: option byte 0 = F8"},
           Case{"Z8F6421", "FF,7F", "2", "--option-bytes for Z8F6421: option byte 1 = 7F"},
           // Variant 3 has VBO_RES and XTLDIS but bit 0 of byte 1 is fixed.
           Case{"Z8F0830", "FF,FE", "2", "option byte 1 = FE"},
           Case{"Z8F6421", "FF", "2", "needs 2 option bytes, given 1"},
           Case{"Z8F6421", "FF,FF,FF", "2", "needs 2 option bytes, given 3"},
           Case{"Z8F6421", "FF,XY", "2", "--option-bytes takes hex bytes"},
           Case{"Z8F6421", "FF,100", "2", "--option-bytes takes hex bytes"},
           Case{"ZLF645E0S2864", "FF,EF", "2", "option byte 1 = EF"},
           Case{"ATmega328P", "FF,FF", "3", "--option-bytes is for Z8 Encore!, ZNEO and ZLF645 devices"},
       }) {
    const Result r = Load(c.device, c.bytes, c.address);
    EXPECT_EQ(r.status, 3) << c.bytes;
    EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    EXPECT_EQ(WriteFrames(sim), writes) << c.device << " " << c.bytes;
  }
  EXPECT_EQ(Slot3(0, 4), "FA FF 56 FF\n");
  const Result r = Cli({"save", "--image", "3", "--out", dir + "/x.hex", "--option-bytes", "FF,FF"});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_NE(r.err.find("--option-bytes goes with load"), std::string::npos) << r.err;
}

TEST_F(CliTest, ImagesEscapesTabsLineBreaksAndBackslashesInNames) {
  SimProcess sim({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--image",
                  "slot=1,name=A\tB\nC\\D,device=9,family=0"});
  ASSERT_TRUE(sim.ready());
  const Result r = Run({"images", "--device", sim.linkPath(), "--address", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\n1\t\tUnrestricted\tA\\tB\\nC\\\\D             \t"), std::string::npos) << r.out;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 5) << r.out;   // the heading and four slots
}

TEST_F(CliTest, ReadTargetThenSaveTheImage) {
  SimProcess sim({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--target",
                  "port=2,memsize=64,read=6,step=100", "--image", "slot=3,name=Locked,device=9,family=0,protect=1"});
  ASSERT_TRUE(sim.ready());
  Result r = Run({"read-target", "--device", sim.linkPath(), "--address", "2", "--image", "1", "--target-port", "2",
                  "--device-type", "ATtiny10", "--name", "Copied"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Image Load Complete\n");
  r = Run({"images", "--device", sim.linkPath(), "--address", "2"});
  EXPECT_NE(r.out.find("\n1\t\tUnrestricted\tCopied              \tATtiny\tATtiny10"), std::string::npos) << r.out;

  const std::string saved = dir + "/saved.hex";
  r = Run({"save", "--device", sim.linkPath(), "--address", "2", "--image", "1", "--out", saved});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string text = ReadFile(saved);
  // The target's 64 bytes (0, 1, 2, ...) lead the 1 KiB image.
  EXPECT_EQ(text.substr(0, 43), ":20000000000102030405060708090A0B0C0D0E0F10");
  EXPECT_NE(text.find(":00000001FF\r\n"), std::string::npos);

  r = Run({"save", "--device", sim.linkPath(), "--address", "2", "--image", "3", "--out", dir + "/locked.hex"});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("This image is read protected"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(dir + "/locked.hex"), "");
}

// A security block whose check bytes do not match is kept as it is: every
// image counts as read protected until reset-security, which asks first.
TEST_F(CliTest, DamagedSecurityBlockProtectsEveryImageUntilItIsResetOnRequest) {
  SimProcess sim({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--image",
                  "slot=1,name=Guarded,device=9,family=0,protect=1,count=250", "--image",
                  "slot=3,name=Open,device=9,family=0,count=12"});
  ASSERT_TRUE(sim.ready());
  const std::string block = dir + "/block.bin";
  auto readBlock = [&] {
    const Result r = Run({"read-flash", "--device", sim.linkPath(), "--address", "2", "0x20", "32", "--out", block});
    EXPECT_EQ(r.status, 0) << r.err;
    return ReadFile(block);
  };
  std::string damaged = readBlock();
  ASSERT_EQ(damaged.size(), 32u);
  damaged[14] = static_cast<char>(damaged[14] ^ 0x08);   // slot 3's count, behind the seal
  std::ofstream(block, std::ios::binary | std::ios::trunc) << damaged;
  ASSERT_EQ(Run({"write-flash", "--device", sim.linkPath(), "--address", "2", "0x20", block}).status, 0);

  Result r = Run({"images", "--device", sim.linkPath(), "--address", "2"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\n1\tRP\tDamaged\tGuarded"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\n3\tRP\tDamaged\tOpen"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("security block of the programmer at address 2 is damaged"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("kestrin-cli reset-security --address 2"), std::string::npos) << r.err;

  r = Run({"save", "--device", sim.linkPath(), "--address", "2", "--image", "3", "--out", dir + "/open.hex"});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("This image is read protected"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(dir + "/open.hex"), "");

  // No terminal to ask and no --yes: nothing is reset.
  r = Run({"reset-security", "--device", sim.linkPath(), "--address", "2"});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("needs a terminal to ask, or --yes"), std::string::npos) << r.err;
  EXPECT_EQ(readBlock(), damaged);

  r = Run({"reset-security", "--device", sim.linkPath(), "--address", "2", "--yes"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Security Block Reset\n");
  const std::string reset = readBlock();
  ASSERT_EQ(reset.size(), 32u);
  for (int slot = 0; slot < 4; ++slot) {
    EXPECT_EQ(reset.substr(7 * slot, 7), std::string("\xFF\xFF\xFF\xFF\0\0\0", 7)) << slot;
  }
  const uint16_t crc = vrxsim::Crc16(reinterpret_cast<const uint8_t*>(reset.data()), 30);
  EXPECT_EQ(static_cast<uint8_t>(reset[30]), crc & 0xFF);
  EXPECT_EQ(static_cast<uint8_t>(reset[31]), crc >> 8);

  r = Run({"images", "--device", sim.linkPath(), "--address", "2"});
  EXPECT_EQ(r.err.find("damaged"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("\n1\t\tUnrestricted\tGuarded"), std::string::npos) << r.out;
  // An intact block is not reset.
  r = Run({"reset-security", "--device", sim.linkPath(), "--address", "2", "--yes"});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("intact"), std::string::npos) << r.err;
}

// The line's frames carry no checksum: a damaged ReadFlash reply during the
// upload must fail the save and leave the file that was there untouched.
TEST_F(CliTest, DamagedUploadIsReadAgainAndALostLineKeepsTheOldFile) {
  const std::vector<std::string> unit{"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200",
                                      "--image", "slot=1,name=Board,device=9,family=0,size=4096"};
  const std::string out = dir + "/board.hex";
  size_t readFlashReplies = 0;
  std::string expected;
  {
    SimProcess sim(unit);
    ASSERT_TRUE(sim.ready());
    const Result r = Run({"save", "--device", sim.linkPath(), "--address", "2", "--image", "1", "--out", out});
    ASSERT_EQ(r.status, 0) << r.err;
    // The unit's pattern for slot 1 (byte i holds i * 7 + 1), 32 bytes a record.
    for (int o = 0; o < 4096; o += 32) {
      std::vector<uint8_t> record;
      for (int i = o; i < o + 32; ++i) record.push_back(static_cast<uint8_t>(i * 7 + 1));
      expected += DataRecord(static_cast<uint16_t>(o), record);
    }
    expected += EndRecord();
    EXPECT_EQ(ReadFile(out), expected);
    for (const std::string& f : sim.loggedFrames()) readFlashReplies += f.find(" 2 02") != std::string::npos;
  }
  // The upload is the last 16 ReadFlash replies of the command.
  ASSERT_GT(readFlashReplies, 16u);
  const std::string old = "what was there before\r\n";
  const auto leftovers = [this] {
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
      const std::string name = e.path().filename().string();
      EXPECT_TRUE(name == "board.hex" || name == "out" || name == "err") << "left behind: " << name;
    }
  };
  // One damaged reply anywhere in the upload: read again, and the file is exact.
  for (size_t reply : {readFlashReplies - 16, readFlashReplies - 9, readFlashReplies - 1}) {
    std::vector<std::string> options = unit;
    options.insert(options.end(), {"--fault", "kind=corrupt,command=0x02,count=1,after=" + std::to_string(reply)});
    SimProcess sim(options);
    ASSERT_TRUE(sim.ready());
    std::ofstream(out, std::ios::binary | std::ios::trunc) << old;
    const Result r = Run({"save", "--device", sim.linkPath(), "--address", "2", "--image", "1", "--out", out});
    EXPECT_EQ(r.status, 0) << reply << ": " << r.err;
    EXPECT_EQ(ReadFile(out), expected) << reply;
    leftovers();
  }
  // The line goes silent halfway through the upload: the old file stays.
  std::vector<std::string> options = unit;
  options.insert(options.end(), {"--fault", "kind=drop,command=0x02,after=" + std::to_string(readFlashReplies - 9)});
  SimProcess sim(options);
  ASSERT_TRUE(sim.ready());
  std::ofstream(out, std::ios::binary | std::ios::trunc) << old;
  const Result r = Run({"save", "--device", sim.linkPath(), "--address", "2", "--image", "1", "--out", out});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("No Response from Programmer"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(out), old);
  leftovers();
}

TEST_F(CliTest, DefaultsAndAteOptionsAreWrittenAndReadBack) {
  SimProcess sim({"--programmer", "address=4,type=6,fw=3.010,slots=4,slotsize=256,baud=115200"});
  ASSERT_TRUE(sim.ready());
  Result r = Run({"defaults", "--device", sim.linkPath(), "--address", "4", "--set", "--image", "2", "--ports", "1,3",
                  "--sequential"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "image\t2\nports\t1,3\ncrc-verify\toff\nsequential\ton\n");
  r = Run({"read-flash", "--device", sim.linkPath(), "--address", "4", "26", "2"});
  EXPECT_EQ(r.out, "01 2A\n");

  r = Run({"ate-option", "--device", sim.linkPath(), "--address", "4", "3", "--set", "--image", "4", "--ports", "2,3,4",
           "--crc-verify"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "image\t4\nports\t2,3,4\ncrc-verify\ton\nsequential\toff\n");
  r = Run({"read-flash", "--device", sim.linkPath(), "--address", "4", "232", "8"});
  EXPECT_EQ(r.out, "FF FF FF FF FF FF 03 11\n");   // only option 3 was written

  // Read without --set: what the programmer holds, also after a record set by hand.
  r = Run({"defaults", "--device", sim.linkPath(), "--address", "4"});
  EXPECT_EQ(r.out, "image\t2\nports\t1,3\ncrc-verify\toff\nsequential\ton\n");
  const std::string record = dir + "/record.bin";
  std::ofstream(record, std::ios::binary) << std::string("\x00\x10", 2);
  ASSERT_EQ(Run({"write-flash", "--device", sim.linkPath(), "--address", "4", "234", record}).status, 0);
  r = Run({"ate-option", "--device", sim.linkPath(), "--address", "4", "1"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "image\t1\nports\t1,2,3,4\ncrc-verify\ton\nsequential\toff\n");
}

TEST_F(CliTest, SetAddressRefusesAnAddressInUseAndMovesToAFreeOne) {
  SimProcess sim({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--programmer",
                  "address=7,type=1,fw=2.005,slots=2,slotsize=512,baud=38400"});
  ASSERT_TRUE(sim.ready());
  Result r = Run({"set-address", "--device", sim.linkPath(), "--address", "2", "--to", "7"});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("There is Already a Programmer Responding at Address 7\r\n"
                       "Setting this programmer to address 7 will cause a conflict"),
            std::string::npos)
      << r.err;
  r = Run({"read-flash", "--device", sim.linkPath(), "--address", "2", "31", "1"});
  EXPECT_EQ(r.out, "02\n");
  r = Run({"read-flash", "--device", sim.linkPath(), "--address", "7", "31", "1"});
  EXPECT_EQ(r.out, "07\n");

  r = Run({"set-address", "--device", sim.linkPath(), "--address", "2", "--to", "12"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "12\t115200\t3.010\t6\t4\t262144\n");
  r = Run({"scan", "--device", sim.linkPath()});
  EXPECT_EQ(r.out,
            "7\t38400\t2.005\t1\t2\t524288\n"
            "12\t115200\t3.010\t6\t4\t262144\n");
  r = Run({"read-flash", "--device", sim.linkPath(), "--address", "12", "31", "1"});
  EXPECT_EQ(r.out, "0C\n");
}

TEST_F(CliTest, UpgradeWritesTheDeliveredFirmwareAndTablesAndTheUnitAnswersWithTheNewRevision) {
  SimProcess sim({"--programmer", "address=2,type=2,fw=3.001,slots=4,slotsize=256,baud=115200,reload=300"});
  ASSERT_TRUE(sim.ready());
  Result r = Run({"upgrade", "--device", sim.linkPath(), "--address", "2", "firmware"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "3.010\n");   // what vrx_z8_v3.rex brings
  r = Run({"fwrev", "--device", sim.linkPath(), "--address", "2"});
  EXPECT_EQ(r.out, "3.010\n");
  // The configuration block records the area's size and the unit's CRC of it.
  r = Run({"crc", "--device", sim.linkPath(), "--address", "2", "0x1000", "0x3F00"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string crc = r.out.substr(0, 4);
  r = Run({"read-flash", "--device", sim.linkPath(), "--address", "2", "4", "4"});
  EXPECT_EQ(r.out, "00 3F " + crc.substr(0, 2) + " " + crc.substr(2, 2) + "\n");

  // The Z8 type has one table; the C2 type, chosen by name, two.
  r = Run({"upgrade", "--device", sim.linkPath(), "--address", "2", "hwc", "--type", "VRX-C2"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = Run({"read-flash", "--device", sim.linkPath(), "--address", "2", "8", "2"});
  EXPECT_EQ(r.out, "8A 60\n");
  r = Run({"read-flash", "--device", sim.linkPath(), "--address", "2", "16", "2"});
  EXPECT_EQ(r.out, "8A 60\n");

  r = Run({"upgrade", "--device", sim.linkPath(), "--address", "2", "vectors"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("no vector file"), std::string::npos) << r.err;
  r = Run({"upgrade", "--device", sim.linkPath(), "--address", "2", "hwc", "--type", "VRX-NONE"});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("VRX-NONE"), std::string::npos) << r.err;
}

TEST_F(CliTest, UsageErrorsExitTwo) {
  for (std::vector<std::string> args : {std::vector<std::string>{}, {"bogus"}, {"fwrev"}, {"fwrev", "--address", "17"},
                                        {"fwrev", "--address", "1", "--baud", "9600"}, {"read-flash", "--address", "1", "5"},
                                        {"scan", "--frobnicate"}, {"program", "--address", "1"},
                                        {"delete", "--address", "1", "--image", "5"},
                                        {"set-address", "--address", "1"}, {"set-address", "--address", "1", "--to", "17"},
                                        {"ate-option", "--address", "1", "4"}, {"ate-option", "--address", "1"},
                                        {"defaults", "--address", "1", "--image", "2"},
                                        {"defaults", "--address", "1", "--set"},
                                        {"upgrade", "--address", "1"}, {"upgrade", "--address", "1", "bios"},
                                        {"fwrev", "--address", "1", "--type", "VRX-Z8"}, {"array"},
                                        {"array", "--run", "2"}, {"array", "--run", "2:5"}, {"array", "--run", "17:1"},
                                        {"array", "--run", "2:1:1,5"}, {"array", "--run", "2:1", "--run", "2:3"},
                                        {"scan", "--run", "2:1"}}) {
    const Result r = Run(args);
    EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]);
    // The error and where to read more, not the whole help.
    EXPECT_NE(r.err.find("see 'kestrin-cli "), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Usage: kestrin-cli"), std::string::npos) << r.err;
  }
  const Result help = Run({"crc", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("crc --address A ADDR LEN"), std::string::npos);
}

}  // namespace
