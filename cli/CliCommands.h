// kestrin-cli: the operations without windows.
#pragma once

#include <csignal>
#include <string>
#include <vector>

// Exit status: what a script needs to tell apart.
enum CliExit {
  ExitOk = 0,
  ExitTargetFailed = 1,   // the run went through, a target (a port) failed
  ExitUsage = 2,          // the command line is wrong
  ExitFailed = 3,         // the command could not be carried out: line, programmer, files
};

struct CliOptions {
  std::string command;
  std::vector<std::string> arguments;   // positional arguments after the command
  int port = 0;                         // 0: the saved port, else 1
  std::string device;                   // a device path instead of a port number
  std::string portMap;                  // "1=/dev/ttyUSB0,3=/tmp/vrx-line"
  int address = 0;                      // 0: not given
  int baud = 0;                         // 0: the first speed that answers
  std::string dataDir;
  std::string out;
  int image = 0;                        // 0: not given
  std::string deviceType;
  std::string project;                  // load: a project file instead of files and device
  std::vector<std::string> files;
  std::string eeprom;
  std::string eepromName;
  std::string fuses;                    // load: the fuse bytes, "HH,HH,…"
  std::string osccal;                   // NONE 8MHZ 4MHZ 2MHZ 1MHZ INTERNAL
  std::string osccalMemory;             // flash or eeprom
  std::string osccalAddress;            // hex
  std::string jtagId;                   // "PART,VERSION" in hex
  std::string optionBytes;              // load: Z8 Encore!, ZNEO, ZLF645 option bytes, "HH,HH,…"
  bool avr32Security = false;
  std::string serialMemory;             // load: flash, eeprom or user
  std::string serialAddress;            // hex
  std::string serialSize;               // 2, 4 or 6
  std::string serialOrder;              // msb or lsb
  std::string serialNext;               // decimal, or hex with 0x
  std::string name;
  double voltage = 0;                   // 0: not given
  int mode = 0;
  int freq = 0;
  bool protect = false;
  bool iic = false;
  int targetPort = 1;                   // read-target: the port of the target device
  int count = -1;                       // -1: no limit
  std::string ports = "1,2,3,4";
  std::vector<std::string> runs;        // array: "A:IMAGE[:PORTS]" per unit, in start order
  std::string programmerType;           // upgrade: the type whose files are written; devices, convert: type code
  std::string firmware;                 // devices, convert: the firmware revision whose database is used
  std::string family;                   // devices: only this family
  std::string since;                    // log: the first day, YYYY-MM-DD
  bool json = false;                    // one JSON document on standard output
  bool verify = false;
  bool crcVerify = false;
  bool sequential = false;
  bool set = false;                     // defaults, ate-option: write before reading back
  bool portsGiven = false;              // --ports was on the command line
  int to = 0;                           // set-address: the new address; 0: not given
  bool verbose = false;
  bool yes = false;                     // reset-security: the answer to its question, for scripts
  bool help = false;
  bool version = false;
};

// Parses the command line against the command's declared options and the
// global ones; false with a message on a usage error.
bool ParseCliOptions(const std::vector<std::string>& args, CliOptions& options, std::string& error);

// The words a shell completes: without a command the command names, with one
// its options ("--address"), one a line.
std::string CliCompletionWords(const std::string& command);

// Runs the command with the platform already bound; returns the exit status.
int RunCliCommand(const CliOptions& options);

std::string CliUsage(const std::string& command);
// The usage error's lines: the message and where to read more.
std::string CliUsageError(const std::string& command, const std::string& message);

// Set by SIGINT during a run; the tick passes it on as the Cancel button.
extern volatile std::sig_atomic_t InterruptRequested;
