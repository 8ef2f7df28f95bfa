// Rules that set a device family apart from the others of its programmer type
// and that the conversion of its files must know.
#pragma once

#include <cstdint>
#include <string>

struct FamilyTraits {
  int progType;
  const char* family;   // as the device database names it
  // Address the family's toolchains give the first flash byte (0: flash
  // starts at 0). Files may address the flash from here or from 0.
  int64_t flashBase;
};

// The row of a family; a family without one has flash at 0 and no other rules.
FamilyTraits FamilyTraitsOf(int progType, const std::string& family);
