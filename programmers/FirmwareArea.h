// Whether the programmer's firmware area holds what its last upgrade wrote.
// An upgrade records the firmware's size and CRC in the configuration block
// (bytes 4..7) only after the firmware is written and verified; a line or
// power cut during the write leaves a record that the area no longer matches.
#pragma once

#include <cstdint>
#include <string>

// Where the configuration block keeps the firmware's size (2 bytes) and CRC (2 bytes).
constexpr int32_t FirmwareRecordAddress = 4;

enum class FirmwareArea {
  Complete,    // the area's CRC is the recorded one
  NoRecord,    // bytes 4..7 erased: no upgrade recorded, nothing to compare
  Incomplete,  // record and area disagree
  Unknown,     // the line failed; the last-error record says why
};

// Reads the record (two agreeing reads) and the area's CRC (CrcFlash
// confirmed) over FlashMap.FirmwareBase and FirmwareSize.
FirmwareArea CheckFirmwareArea();

// The same for a programmer at CurrentAddress that is not selected (a scan's
// or a revision query's): the generation its revision tells and its flash
// map are taken first.
FirmwareArea CheckFirmwareAreaOf(const std::string& revision);

// "firmware incomplete, upgrade again", and the message selection shows.
extern const char* const FirmwareIncompleteText;
std::string FirmwareIncompleteMessage();

// At selection: sets FirmwareIncomplete and shows the message when the area
// is incomplete. The last-error record is left as it was either way.
void WarnOfIncompleteFirmware();
