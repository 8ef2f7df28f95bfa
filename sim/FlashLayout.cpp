#include "sim/FlashLayout.h"

#include <algorithm>
#include <cstring>

#include "programmers/UnitState.h"
#include "sim/Bytes.h"

namespace vrxsim {
namespace {

constexpr uint32_t kEESlotBytes = 0x4000;
constexpr uint32_t kPageMapBytes = 128;
constexpr uint32_t kHwcArea = 0x8000;
constexpr uint32_t kHwcBytes = 0x608A;

uint64_t AlignUp(uint64_t v, uint64_t a) { return (v + a - 1) / a * a; }

// Areas after the images: second memory, page maps, configuration slots 1..4.
uint64_t TailSize(int slots) {
  return uint64_t(slots) * kEESlotBytes + AlignUp(uint64_t(slots) * kPageMapBytes, 0x1000) + 4 * kHwcArea;
}

// Images start at 0x10000 unless they would run into the PC's second
// vector table; then they all go above it.
uint64_t ImagesStart(int slots, uint32_t slotBytes) {
  uint64_t end = kLegacyImageBase + uint64_t(slots) * slotBytes;
  return end <= kVector2Base ? kLegacyImageBase : kVector2End;
}

// Start of the tail: right after the images unless that would run into the
// PC's second vector table.
uint64_t TailStart(int slots, uint32_t slotBytes) {
  uint64_t start = AlignUp(ImagesStart(slots, slotBytes) + uint64_t(slots) * slotBytes, 0x1000);
  if (start < kVector2End && start + TailSize(slots) > kVector2Base) start = kVector2End;
  return start;
}

}  // namespace

uint32_t SlotSizeBytes(int code) {
  if (code == 0) return 256 * 1024;
  if (code == 1) return 512 * 1024;
  return uint32_t(code) * 1024;
}

FlashMap DefaultFlashMap(int slots, uint32_t slotBytes) {
  FlashMap m{};
  m[kImageBase] = uint32_t(ImagesStart(slots, slotBytes));
  m[kImageSlotSize] = slotBytes;
  m[kFirmwareBase] = 0x1000;
  m[kFirmwareSize] = 0x3F00;
  m[kVectorBase] = 0x5000;
  m[kVectorSize] = 0x4000;
  m[kHwcBase0] = 0x9000;
  m[kHwcSize0] = kHwcBytes;
  uint64_t at = TailStart(slots, slotBytes);
  m[kEEBase] = uint32_t(at);
  m[kEESlotSize] = kEESlotBytes;
  at += uint64_t(slots) * kEESlotBytes;
  m[kPageMapBase] = uint32_t(at);
  m[kPageMapSize] = kPageMapBytes;
  at += AlignUp(uint64_t(slots) * kPageMapBytes, 0x1000);
  const MapField hwc[4][2] = {{kHwcBase1, kHwcSize1}, {kHwcBase2, kHwcSize2},
                              {kHwcBase3, kHwcSize3}, {kHwcBase4, kHwcSize4}};
  for (const auto& area : hwc) {
    m[area[0]] = uint32_t(at);
    m[area[1]] = kHwcBytes;
    at += kHwcArea;
  }
  return m;
}

size_t RequiredFlashSize(int slots, uint32_t slotBytes) {
  uint64_t end = TailStart(slots, slotBytes) + TailSize(slots);
  return size_t(std::max<uint64_t>(kMinFlashSize, AlignUp(end, 0x10000)));
}

void WriteConfigBlock(uint8_t* flash, const UnitConfig& config) {
  std::memset(flash + kConfigBase, 0xFF, kConfigSize);
  flash[kDefaultsOffset] = 0;      // default slot 1
  flash[kDefaultsOffset + 1] = 0;  // all ports enabled, no options
  flash[kSlotSizeOffset] = uint8_t(config.slotSizeCode);
  flash[kSlotsOffset] = uint8_t(config.slots);
  flash[kTypeOffset] = uint8_t(config.type);
  flash[kAddressOffset] = uint8_t(config.address);
}

void WriteFlashMap(uint8_t* flash, const FlashMap& map) {
  for (int i = 0; i < kMapFieldCount; ++i) PutLe32(flash + kFlashMapBase + 4 * i, map[i]);
}

FlashMap ReadFlashMap(const uint8_t* flash) {
  FlashMap m{};
  for (int i = 0; i < kMapFieldCount; ++i) m[i] = GetLe32(flash + kFlashMapBase + 4 * i);
  return m;
}

}  // namespace vrxsim
