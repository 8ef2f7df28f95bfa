// Refreshing what a programmer keeps for itself: its firmware, its hardware
// configuration (HWC) tables and its two vector tables, from the files the
// revisions files name for its type (FirmwareFileName, HwcFileNames,
// VectorFileName, VectorFileName2) into the areas of FlashMap. Each returns
// True when the recorded error number is 0 or 32755; on False the caller
// shows the error report. A file that is missing, cut short or of another
// kind is refused before anything is written.
#pragma once

#include <cstdint>
#include <string>

// How long a unit may stay silent after LoadFirmware while it rewrites
// itself: a real unit needs a few seconds, the limit leaves ample room.
constexpr int FirmwareRestartLimitTicks = 1200;   // 60 s
// The pause after the first answer, while the new firmware settles.
constexpr int FirmwareSettleTicks = 100;          // 5 s

// Writes, verifies and CRCs the firmware, records its size and CRC in the
// configuration block, sends LoadFirmware and waits for FwRev to answer
// again (at most restartLimitTicks; error 1500 after that). The revision it
// then reports (two agreeing FwRev replies) becomes the selected programmer's
// FwRevision and must be the one the firmware brings (its header, else the
// type's latest revision): error 1520 naming both otherwise. A LoadFirmware
// reply that is lost or damaged is judged by that revision too.
bool UpgradeFirmware(int restartLimitTicks = FirmwareRestartLimitTicks);
// Every table up to the first empty name; each gets its configuration record.
bool LoadHardwareConfiguration();
bool LoadVectorInformation();
bool LoadExtendedVectorInformation();
// The Upgrade Firmware menu: firmware, then HWC tables, then both vector
// tables, stopping at the first failure. After the firmware the programmer
// is selected again, so the tables go where the new firmware's flash map
// says; when that fails no table is written.
bool UpgradeProgrammer();

// What the firmware menus and kestrin-cli upgrade do.
enum class UpgradeJob { Programmer, Firmware, HardwareConfiguration, Vectors, ExtendedVectors };
// Whom the scan after an upgrade asks: the whole line, as the windows list
// it, or only the upgraded programmer's address, the one programmer the
// command line works with.
enum class RescanScope { Line, Address };

// The question the Upgrade Firmware menu asks before anything is sent: the
// selected programmer (address and type), the revision it runs and the one
// its firmware file brings. Sends nothing and leaves ImageBuffer as it was.
// False, with the error recorded, when no programmer is selected or the
// firmware file cannot be read (the upgrade would refuse it too).
bool UpgradeQuestion(std::string& question);
// The closing word of an upgrade of the programmer at `address` that went
// well: the revision the selected programmer reports now.
std::string UpgradeFinishedMessage(int address);

// Runs the job, then, whether it succeeded or not and as long as the port
// is open, scans again, so the programmer table, type record, flash map and
// device file are what the units report now; the programmer at the address
// that was selected is selected again when it still answers. A failed job's
// error stays in the last-error record; a job that succeeded fails when the
// scan finds no programmer there.
bool UpgradeAndRescan(UpgradeJob job, RescanScope scope);
