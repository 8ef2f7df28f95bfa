#include "sim/CommandLine.h"

#include "sim/OptionParse.h"

namespace vrxsim {

std::string UsageText() {
  return "Usage: vrx-sim --link PATH [options]\n"
         "Simulates a line of VRX programmers on a pseudo-terminal linked at PATH.\n"
         "\n"
         "  --link PATH          symlink to the line's device (replaced when stale)\n"
         "  --programmer LIST    add a unit (repeatable):\n"
         "        address=1,type=6,fw=3.010,slots=4,slotsize=256,baud=115200|38400|both\n"
         "        [,serial=0][,noconfig=1][,ate=1][,reload=MS|never][,reloadfw=3.011]\n"
         "  --target LIST        set up a target port (repeatable):\n"
         "        address=A,port=1..4,present=0|1,program=4:1:2,verify=2,read=6:7,\n"
         "        result=CODE,step=MS,memory=FILE.bin|memsize=N\n"
         "  --image LIST         store an image in a slot at start (repeatable):\n"
         "        address=A,slot=1..4,name=TEXT,device=CODE,family=F,size=BYTES,\n"
         "        voltage=3.3,mode=M,freq=KHZ,count=N,protect=0|1,eename=TEXT\n"
         "  --fault LIST         disturb replies (repeatable):\n"
         "        kind=drop|corrupt|delay|noise|trailing|endless|wrongaddr|wrongid|status|flip|cut,\n"
         "        every=N,after=N,count=N,command=0xNN,ms=N,code=N,byte=N (corrupt, flip: 0 = ID),\n"
         "        bit=0..7 (flip); cut: the line dies once the hit command is carried out\n"
         "  --state DIR          keep each unit's flash in DIR/unit<i>.flash\n"
         "  --line-rate          pace every byte at the line's bit rate\n"
         "  --log FILE           log every received frame to FILE\n"
         "  --demo               a built-in line when no --programmer is given\n"
         "  --help               show this text\n"
         "  --version            show the program's version\n";
}

std::vector<UnitConfig> DemoUnits() {
  std::vector<UnitConfig> units(4);
  units[0].address = 1;  // AVR, generation 3
  units[0].type = 6;
  units[0].targets[2].present = false;
  units[0].targets[3].result = 18;  // Verify Failed
  // Images as the delivered device files know them: ATmega328P and ATtiny85.
  units[0].images.push_back(
      StoredImage{1, 32768, 9, 0, 165, "Sensor board v2.1", 2, 4000, -1, false, "Sensor calibration"});
  units[0].images.push_back(StoredImage{3, 8192, 30, 1, 250, "Key fob", 0, 1000, 250, true, ""});

  units[1].address = 2;  // PSoC, generation 2, 512 KiB slots
  units[1].type = 1;
  units[1].fwMajor = 2;
  units[1].fwMinor = 5;
  units[1].slotSizeCode = 1;
  units[1].baud = Baud::B38400;
  units[1].serialization = false;
  units[1].images.push_back(StoredImage{2, 32768, 31, 3, 250, "Touch panel", 1, 0, -1, false, ""});

  units[2].address = 5;  // Z8 Encore!, generation 1
  units[2].type = 2;
  units[2].fwMajor = 1;
  units[2].fwMinor = 250;
  units[2].baud = Baud::B38400;
  units[2].serialization = false;
  units[2].targets[1].present = false;

  units[3].address = 16;  // ARM, generation 3
  units[3].type = 9;
  units[3].fwMinor = 12;
  units[3].images.push_back(StoredImage{1, 65536, 10, 1, 165, "Motor controller", 1, 0, 5000, false, ""});

  // Runs of different lengths, so an array run shows the units finishing in turn.
  for (int port = 0; port < 4; ++port) {
    units[1].targets[port].stepMs = 150;
    units[3].targets[port].stepMs = 600;
    units[3].targets[port].programSteps = {4, 1, 1, 2};
  }
  units[0].targets[1].stepMs = 450;
  return units;
}

bool ParseCommandLine(const std::vector<std::string>& args, SimOptions& out, std::string& error) {
  SimOptions o;
  std::vector<std::string> targets;
  std::vector<std::string> images;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool inlineValue = false;
    size_t eq = name.find('=');
    if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      inlineValue = true;
    }
    auto takeValue = [&]() {
      if (inlineValue) return true;
      if (i + 1 >= args.size()) {
        error = name + " needs a value";
        return false;
      }
      value = args[++i];
      return true;
    };
    auto noValue = [&]() {
      if (inlineValue) error = name + " takes no value";
      return !inlineValue;
    };
    if (name == "--help" || name == "-h") {
      if (!noValue()) return false;
      o.help = true;
    } else if (name == "--link") {
      if (!takeValue()) return false;
      o.link = value;
    } else if (name == "--programmer") {
      if (!takeValue()) return false;
      UnitConfig unit;
      std::string why;
      if (!ParseUnitSpec(value, unit, why)) {
        error = "--programmer " + value + ": " + why;
        return false;
      }
      o.units.push_back(unit);
    } else if (name == "--target") {
      if (!takeValue()) return false;
      targets.push_back(value);
    } else if (name == "--image") {
      if (!takeValue()) return false;
      images.push_back(value);
    } else if (name == "--fault") {
      if (!takeValue()) return false;
      FaultConfig fault{FaultKind::Drop};
      std::string why;
      if (!ParseFaultSpec(value, fault, why)) {
        error = "--fault " + value + ": " + why;
        return false;
      }
      o.faults.push_back(fault);
    } else if (name == "--state") {
      if (!takeValue()) return false;
      o.stateDir = value;
    } else if (name == "--line-rate") {
      if (!noValue()) return false;
      o.lineRate = true;
    } else if (name == "--log") {
      if (!takeValue()) return false;
      o.logFile = value;
    } else if (name == "--demo") {
      if (!noValue()) return false;
      o.demo = true;
    } else {
      error = "unknown option '" + args[i] + "'";
      return false;
    }
  }
  if (o.help) {
    out = o;
    return true;
  }
  if (o.link.empty()) {
    error = "--link PATH is required";
    return false;
  }
  if (o.demo && o.units.empty()) o.units = DemoUnits();
  for (const std::string& t : targets) {
    std::string why;
    if (!ParseTargetSpec(t, o.units.data(), o.units.size(), why)) {
      error = "--target " + t + ": " + why;
      return false;
    }
  }
  for (const std::string& t : images) {
    std::string why;
    if (!ParseImageSpec(t, o.units.data(), o.units.size(), why)) {
      error = "--image " + t + ": " + why;
      return false;
    }
  }
  out = o;
  return true;
}

}  // namespace vrxsim
