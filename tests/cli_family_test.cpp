// Every command of kestrin-cli: its help lists the options it declares, it
// takes the global options, and it refuses another command's option with the
// one-line usage error and exit 2.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>

#include "tests/support/ProcessRun.h"

namespace {

const std::vector<std::string> Commands = {
    "scan",  "images",      "program", "array",          "load",    "serial",     "fuses",   "save",
    "read-target", "delete", "reset-security", "upgrade", "fwrev", "read-flash", "write-flash", "crc",
    "set-address", "defaults", "devices", "convert", "log", "ate-option"};

const std::vector<std::string> GlobalOptions = {"--port", "--device", "--port-map", "--data-dir",
                                                "--verbose", "--help", "--version"};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class CliFamilyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kestrin-cli-family-XXXXXX";
    dir = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    setenv("XDG_DATA_HOME", dir.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  ProcessResult Run(const std::vector<std::string>& args) { return RunProcess(KESTRIN_CLI_PATH, args, dir); }
  // A command's own options, as the listing for completion gives them.
  std::vector<std::string> OwnOptions(const std::string& command) {
    std::vector<std::string> own;
    for (const std::string& option : Lines(Run({"--complete-words", command}).out)) {
      if (std::find(GlobalOptions.begin(), GlobalOptions.end(), option) == GlobalOptions.end()) own.push_back(option);
    }
    return own;
  }

  std::string dir;
};

TEST_F(CliFamilyTest, TheTableListsEveryCommandAndTheGeneralHelpNamesThem) {
  const ProcessResult words = Run({"--complete-words"});
  ASSERT_EQ(words.status, 0) << words.err;
  EXPECT_EQ(Lines(words.out), Commands);
  const ProcessResult help = Run({"--help"});
  ASSERT_EQ(help.status, 0) << help.err;
  for (const std::string& command : Commands) {
    EXPECT_NE(help.out.find("\n  " + command + " "), std::string::npos) << command;
  }
  for (const std::string& option : GlobalOptions) EXPECT_NE(help.out.find("  " + option), std::string::npos) << option;
}

TEST_F(CliFamilyTest, EveryCommandsHelpListsItsOwnAndTheGlobalOptions) {
  for (const std::string& command : Commands) {
    SCOPED_TRACE(command);
    const std::vector<std::string> words = Lines(Run({"--complete-words", command}).out);
    for (const std::string& option : GlobalOptions) {
      EXPECT_NE(std::find(words.begin(), words.end(), option), words.end()) << option;
    }
    // The globals go with every command, even ahead of it.
    const ProcessResult help = Run({"--verbose", "--data-dir", dir, command, "--port", "3", "--device", "/dev/null",
                                    "--port-map", "1=/dev/null", "--help"});
    ASSERT_EQ(help.status, 0) << help.err;
    EXPECT_EQ(help.out.compare(0, 20 + command.size(), "Usage: kestrin-cli " + command + " "), 0) << help.out;
    const size_t list = help.out.find("\nOptions:\n");
    ASSERT_NE(list, std::string::npos) << help.out;
    for (const std::string& option : words) {
      EXPECT_NE(help.out.find("\n  " + option + " ", list), std::string::npos) << option << "\n" << help.out;
    }
    EXPECT_TRUE(help.err.empty()) << help.err;
  }
  // Options declared with a command show in its help and nowhere else.
  const std::vector<std::string> load = OwnOptions("load");
  for (const char* option : {"--jtag-id", "--serial-next", "--option-bytes", "--project", "--count"}) {
    EXPECT_NE(std::find(load.begin(), load.end(), option), load.end()) << option;
  }
  EXPECT_EQ(OwnOptions("scan"), std::vector<std::string>{"--json"});
  EXPECT_EQ(OwnOptions("log"), (std::vector<std::string>{"--since", "--json"}));
}

TEST_F(CliFamilyTest, EveryCommandRefusesAnotherCommandsOption) {
  // Which commands declare each option.
  std::map<std::string, std::vector<std::string>> owners;
  std::map<std::string, std::set<std::string>> own;
  for (const std::string& command : Commands) {
    for (const std::string& option : OwnOptions(command)) {
      owners[option].push_back(command);
      own[command].insert(option);
    }
  }
  ASSERT_GT(owners.size(), 30u);
  for (const std::string& command : Commands) {
    SCOPED_TRACE(command);
    // An option of another command, with a value when it takes one.
    std::string foreign;
    for (const auto& entry : owners) {
      if (!own[command].count(entry.first)) foreign = entry.first;
    }
    ASSERT_FALSE(foreign.empty());
    std::string said = foreign + " goes with ";
    const std::vector<std::string>& list = owners[foreign];
    for (size_t i = 0; i < list.size(); ++i) said += (i == 0 ? "" : i + 1 == list.size() ? " and " : ", ") + list[i];
    const ProcessResult r = Run({command, "--device", "/dev/null", foreign, "1"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "kestrin-cli: " + said + "\nsee 'kestrin-cli " + command + " --help'\n");
    EXPECT_TRUE(r.out.empty()) << r.out;
    // An option no command has.
    const ProcessResult unknown = Run({command, "--frobnicate"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err, "kestrin-cli: unknown option --frobnicate\nsee 'kestrin-cli " + command + " --help'\n");
  }
}

// Options that other commands once let through, as they are said now.
TEST_F(CliFamilyTest, MisplacedOptionsAreNamedWithTheCommandsTheyGoWith) {
  struct Case {
    std::vector<std::string> args;
    const char* said;
  };
  const Case cases[] = {
      {{"scan", "--jtag-id", "1E,0"}, "--jtag-id goes with load"},
      {{"fuses", "--address", "1", "--device-type", "ATmega328P", "--osccal", "8MHZ"}, "--osccal goes with load"},
      {{"fwrev", "--address", "1", "--json"},
       "--json goes with scan, images, program, array, serial, fuses, devices, convert and log"},
      {{"devices", "--address", "1"}, nullptr},
      {{"log", "--type", "6"}, "--type goes with upgrade, devices and convert"},
      {{"save", "--address", "1", "--image", "1", "--out", "x.hex", "--serial-size", "2"},
       "--serial-size goes with load"},
      {{"convert", "--device-type", "ATmega328P", "--file", "x.hex", "--family", "AVR"}, "--family goes with devices"},
  };
  for (const Case& c : cases) {
    const ProcessResult r = Run(c.args);
    EXPECT_EQ(r.status, 2) << c.args[0] << " " << r.err;
    EXPECT_NE(r.err.find(c.said ? c.said : "--address goes with "), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.find("\nsee 'kestrin-cli " + c.args[0] + " --help'")) << r.err;
  }
}

}  // namespace
