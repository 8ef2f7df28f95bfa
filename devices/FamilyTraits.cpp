#include "devices/FamilyTraits.h"

namespace {

// Families missing here take the defaults: flash at 0.
constexpr FamilyTraits Rows[] = {
    {9, "STM32F0", 0x08000000},
    {9, "STM32F1", 0x08000000},
};

}  // namespace

FamilyTraits FamilyTraitsOf(int progType, const std::string& family) {
  for (const FamilyTraits& row : Rows) {
    if (row.progType == progType && family == row.family) return row;
  }
  return FamilyTraits{progType, "", 0};
}
