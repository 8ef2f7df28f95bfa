// kestrin-cli: the operations without windows.
#pragma once

#include <csignal>
#include <memory>
#include <string>
#include <vector>

// Exit status: what a script needs to tell apart.
enum CliExit {
  ExitOk = 0,
  ExitTargetFailed = 1,   // the run went through, a target (a port) failed
  ExitUsage = 2,          // the command line is wrong
  ExitFailed = 3,         // the command could not be carried out: line, programmer, files
};

// The values of the options every command takes; each command's values
// struct derives from it and sits beside the command's option list.
struct CliCommonValues {
  virtual ~CliCommonValues() = default;
  std::string command;
  std::vector<std::string> arguments;   // positional arguments after the command
  int port = 0;                         // 0: the saved port, else 1
  std::string device;                   // a device path instead of a port number
  std::string portMap;                  // "1=/dev/ttyUSB0,3=/tmp/vrx-line"
  std::string dataDir;
  bool verbose = false;
  bool help = false;
  bool version = false;
};

// Parses the command line against the command's declared options and the
// global ones into the command's own values (the common ones alone when the
// command is missing or unknown; never null after the call); false with a
// message on a usage error.
bool ParseCliOptions(const std::vector<std::string>& args, std::unique_ptr<CliCommonValues>& values,
                     std::string& error);

// The words a shell completes: without a command the command names, with one
// its options ("--address"), one a line.
std::string CliCompletionWords(const std::string& command);

// Runs the command with the platform already bound; returns the exit status.
int RunCliCommand(const CliCommonValues& values);

std::string CliUsage(const std::string& command);
// The usage error's lines: the message and where to read more.
std::string CliUsageError(const std::string& command, const std::string& message);

// Set by SIGINT during a run; the tick passes it on as the Cancel button.
extern volatile std::sig_atomic_t InterruptRequested;
