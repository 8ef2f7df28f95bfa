#include "state/SlotContents.h"

#include <algorithm>
#include <map>
#include <utility>

#include "state/Bindings.h"
#include "state/views/MainWindowView.h"

namespace {
// Each change takes the next number; a slot's generation is the latest
// number that covered it (its own, its programmer's, or every programmer's).
uint64_t counter = 0;
std::map<std::pair<uint8_t, int>, uint64_t> changes;   // (address or 0, slot or 0)

uint64_t Change(uint8_t address, int slot) {
  const auto it = changes.find({address, slot});
  return it == changes.end() ? 0 : it->second;
}
}  // namespace

uint64_t SlotGeneration(uint8_t address, int slot) {
  return std::max({Change(address, slot), Change(address, 0), Change(0, 0)});
}

void SlotContentsChanged(uint8_t address, int slot) {
  changes[{address, address == 0 ? 0 : slot}] = ++counter;
  ImageChoiceChanged();
}

void ImageChoiceChanged() {
  if (frmMain) frmMain->ImagesChanged();
}
