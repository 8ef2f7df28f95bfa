#include "programmers/FirmwareArea.h"
#include "programmers/RevisionTables.h"

#include <array>
#include <cstdint>

#include "link/Commands.h"
#include "platform/MessageBox.h"
#include "programmers/FlashMap.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"

const char* const FirmwareIncompleteText = "firmware incomplete, upgrade again";

FirmwareArea CheckFirmwareArea() {
  std::array<uint8_t, 4> record{};
  if (!ReadFlashConfirmed(FirmwareRecordAddress, static_cast<int32_t>(record.size()), record.data())) {
    return FirmwareArea::Unknown;
  }
  const int32_t size = record[0] | record[1] << 8;
  if (size == 0xFFFF) return FirmwareArea::NoRecord;
  if (FlashMap.FirmwareSize < 1) return FirmwareArea::Unknown;
  // An upgrade writes and CRCs the whole area and records the low 16 bits of its size.
  if (size != (FlashMap.FirmwareSize & 0xFFFF)) return FirmwareArea::Incomplete;
  std::array<uint8_t, 2> crc{};
  if (!CrcFlashConfirmed(FlashMap.FirmwareBase, FlashMap.FirmwareSize, crc)) return FirmwareArea::Unknown;
  return crc[0] == record[2] && crc[1] == record[3] ? FirmwareArea::Complete : FirmwareArea::Incomplete;
}

FirmwareArea CheckFirmwareAreaOf(const std::string& revision) {
  const int generation = FirmwareGeneration(revision);
  FwGen2 = generation >= 2;
  FwGen3 = generation >= 3;
  if (!ReadFlashMap()) return FirmwareArea::Unknown;
  return CheckFirmwareArea();
}

std::string FirmwareIncompleteMessage() {
  return std::string("PLEASE NOTE: The last firmware upgrade of this Programmer was cut short: ") +
         FirmwareIncompleteText +
         ".\r\nIts firmware area does not hold the firmware the upgrade recorded.\r\nPlease select "
         "'Upgrade Firmware' from the Configuration menu to upgrade this Programmer's firmware again.";
}

void WarnOfIncompleteFirmware() {
  const ErrorRecordCopy before;
  FirmwareIncomplete = CheckFirmwareArea() == FirmwareArea::Incomplete;
  before.Restore();
  if (FirmwareIncomplete && MessageBox) MessageBox->MsgBox(FirmwareIncompleteMessage(), vbOKOnly, "");
}
