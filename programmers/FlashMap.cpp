#include "programmers/FlashMap.h"

#include <array>

#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "platform/Bytes.h"
#include "programmers/UnitState.h"
#include "state/ErrorState.h"

namespace {

void SetDefaultMap() {
  const int32_t slotSize = ProgrammerTable[SelectedProgrammer].SlotSize;
  FlashMapInfo& m = FlashMap;
  m.ImageBase = 0x10000;
  m.ImageSlotSize = slotSize;
  m.EEBase = 0x1F0000;
  m.EESlotSize = 0x4000;
  m.PageMapBase = 0x1E7E00;
  m.PageMapSize = 128;
  m.FirmwareBase = 0x1000;
  m.FirmwareSize = FwGen2 ? 0x3F00 : 0x1F00;
  m.HwcBase = {FwGen2 ? 0x9000 : 0x8000, slotSize == 0x10000 ? 0x50000 : 0x1E8000, 0, 0, 0};
  m.HwcSize = {0x608A, 0x608A, 0, 0, 0};
  m.VectorBase = FwGen2 ? 0x5000 : 0x3000;
  m.VectorSize = 0x4000;
  m.EENameBase = 0x1EFF80;
  m.Vector2Base = 0;
  m.Vector2Size = 0;
}

void TakeStoredMap(const std::array<uint8_t, FlashMapBytes>& block) {
  auto at = [&block](int offset) { return GetLong(block.data() + offset); };
  FlashMapInfo& m = FlashMap;
  m.ImageBase = at(0);
  m.ImageSlotSize = at(4);
  m.EEBase = at(8);
  m.EESlotSize = at(12);
  m.PageMapBase = at(16);
  m.PageMapSize = at(20);
  m.FirmwareBase = at(24);
  m.FirmwareSize = at(28);
  for (int i = 0; i < 3; ++i) {
    m.HwcBase[i] = at(32 + 8 * i);
    m.HwcSize[i] = at(36 + 8 * i);
  }
  m.VectorBase = at(56);
  m.VectorSize = at(60);
  for (int i = 3; i < 5; ++i) {
    m.HwcBase[i] = at(64 + 8 * (i - 3));
    m.HwcSize[i] = at(68 + 8 * (i - 3));
  }
  m.EENameBase = 0xE00;
  m.Vector2Base = 0x24A000;
  m.Vector2Size = 0x8000;
}

}  // namespace

bool ReadFlashMap() {
  ClearError();
  ErrorTitle = "Read Flash Map";
  if (!FwGen3) {
    SetDefaultMap();
    CaptureError();
    return true;
  }
  std::array<uint8_t, FlashMapBytes> block{};
  const bool ok = ReadFlash(FlashMapAddress, FlashMapBytes, block.data(), false);
  if (ok) TakeStoredMap(block);
  return ok;
}
