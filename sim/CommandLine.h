// vrx-sim's command line.
#pragma once

#include <string>
#include <vector>

#include "sim/Config.h"

namespace vrxsim {

struct SimOptions {
  std::string link;                 // where the line's device path is linked
  std::vector<UnitConfig> units;    // in command-line order
  std::vector<FaultConfig> faults;
  std::string stateDir;             // "" = flash in memory only
  bool lineRate = false;            // pace bytes at the line's bit rate
  std::string logFile;
  bool demo = false;
  bool help = false;
};

// args excludes the program name. Targets apply to the programmers whatever
// the order the options come in.
bool ParseCommandLine(const std::vector<std::string>& args, SimOptions& out, std::string& error);
std::string UsageText();
// The built-in line of --demo: four units of different types, generations and speeds.
std::vector<UnitConfig> DemoUnits();

}  // namespace vrxsim
