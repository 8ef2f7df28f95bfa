// Configuration records of the simulated programmer line: what a unit is,
// what sits on its target ports, and which faults the line injects.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vrxsim {

enum class Baud { B38400, B115200, Both };

// What a target port finds when a run or a device read starts.
struct TargetConfig {
  bool present = true;
  std::vector<uint8_t> programSteps{4, 1, 2};  // busy codes shown in turn by a program run
  std::vector<uint8_t> verifySteps{2};
  std::vector<uint8_t> readSteps{6, 7};
  uint8_t result = 0;                          // final code; 0 = Done
  int stepMs = 300;                            // how long each busy code is shown
  std::vector<uint8_t> memory;                 // target content; empty = 4 KiB incrementing pattern
  std::vector<uint8_t> eeprom;                 // second memory (EEPROM, data flash, FIB3); grows as written
  std::vector<uint8_t> user;                   // third memory (user signature, loader flash); grows as written
};

// An image already in a slot, as an earlier download would have left it:
// image area, directory entry, security entry and second-memory name.
struct StoredImage {
  int slot = 1;                // 1-based
  int32_t size = 4096;         // bytes of the image area in use
  int device = 0;              // device code, 10 bits
  int family = 0;              // index into the device file's family list
  int voltage = 165;           // units of 20 mV
  std::string name = "Image";
  int mode = 0;
  int freq = 0;                // kHz
  int32_t count = -1;          // devices it may still program; -1 = no limit
  bool protect = false;        // read protected
  std::string secondName;      // second-memory image name; "" = none
};

struct UnitConfig {
  int address = 1;
  int type = 6;
  int fwMajor = 3;
  int fwMinor = 10;
  int slots = 4;
  int slotSizeCode = 0;  // configuration byte 28: KiB, 0 = 256, 1 = 512
  Baud baud = Baud::B115200;
  bool serialization = true;    // false: the serialization commands answer Bad Command
  bool failConfigRead = false;  // ReadFlash touching bytes 0..31 answers Flash Write Error
  bool ateOptions = false;      // a new flash holds the four ATE option records (slot 1, all ports)
  int reloadSilenceMs = 3000;   // silence after LoadFirmware; negative: the unit never answers again
  int reloadFwMajor = -1, reloadFwMinor = -1;  // revision after LoadFirmware; -1 = unchanged
  TargetConfig targets[4];
  std::vector<StoredImage> images;   // stored when the unit starts
};

// Flip: one bit of a chosen reply byte is inverted, as line noise does.
// Cut: the line dies (a power cut) once the hit command has been carried out:
// that reply and every later one are lost and no later command reaches a unit,
// until the test restores the line.
enum class FaultKind { Drop, Corrupt, Delay, Noise, Trailing, Endless, WrongAddress, WrongId, Status, Flip, Cut };

// A fault picks replies by position: the first `after` matching replies are
// spared, then every `every`-th one is hit, at most `count` times (-1 = always).
struct FaultConfig {
  FaultKind kind;
  int every = 1;
  int after = 0;
  int count = -1;
  int command = -1;  // only replies to this command code; -1 = all
  int ms = 0;        // Delay: extra time before the reply is sent
  int code = 0;      // Status: replacement status byte
  int byte = -1;     // Corrupt, Flip: the reply byte changed (0 = response ID); -1 = the last
  int bit = 0;       // Flip: the bit inverted, 0..7
};

}  // namespace vrxsim
