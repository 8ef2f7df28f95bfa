// kestrin-cli's error report on standard error: the record's lines, then what
// was tried on which device or file and what to do.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/HexText.h"
#include "tests/support/ProcessRun.h"
#include "tests/support/SimProcess.h"

namespace {


class CliErrorsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kestrin-cli-errors-XXXXXX";
    dir = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);   // no settings of the user's
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  // Standard error of one run; status gets the exit status.
  std::string Run(const std::vector<std::string>& args, int& status) {
    const ProcessResult r = RunProcess(KESTRIN_CLI_PATH, args, dir);
    status = r.status;
    return r.err;
  }

  std::string dir;
};

TEST_F(CliErrorsTest, ReportNamesTheDeviceOrFileAndWhatToDo) {
  SimProcess empty(std::vector<std::string>{});
  SimProcess unit({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200"});
  ASSERT_TRUE(empty.ready());
  ASSERT_TRUE(unit.ready());
  const std::string missing = dir + "/no-such-line";
  const std::string bad = dir + "/bad.hex";
  std::ofstream(bad) << DataRecord(0, {1, 2}) + DataRecord(2, {3, 4}) + "0400040005060708DE\n" + EndRecord();

  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string record;   // title and the record's four lines, as always printed
    std::string added;
  } cases[] = {
      {"empty line",
       {"scan", "--device", empty.linkPath()},
       "Kestrin - Acquire Programmers\nFunction: FwRev\nError Code:  1508\nSource: Image Manager\n"
       "No Programmers Found\n",
       "\nTried: COM1 (" + empty.linkPath() + "), addresses 1 to 16 at 38400 and 115200 bit/s\n"
       "Check that the programmer is powered and connected to " + empty.linkPath() + ".\n"},
      {"device that is not there",
       {"fwrev", "--device", missing, "--address", "2"},
       "Function: Open Communications Port\n",
       "\nTried: opening COM1 (" + missing + ")\nCheck that " + missing +
           " exists, that no other program holds it and that your user may open it (on Linux, membership of "
           "the dialout group).\n"},
      {"HEX line without its colon",
       {"load", "--device", unit.linkPath(), "--address", "2", "--image", "1", "--device-type", "ATmega328P",
        "--file", bad},
       "Error Code:  1501\n",
       "\nTried: reading " + bad + ", line 3\nCheck that " + bad +
           " is a complete build file (Intel HEX, S-record, ELF, or binary with its load address), or export it "
           "again from the build.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int status = 0;
    const std::string err = Run(c.args, status);
    EXPECT_NE(status, 0);
    EXPECT_NE(err.find(c.record), std::string::npos) << err;
    ASSERT_GE(err.size(), c.added.size()) << err;
    EXPECT_EQ(err.substr(err.size() - c.added.size()), c.added) << err;
  }
}

}  // namespace
