// Puts a stored image into a unit's flash: the image area (a pattern), the
// directory entry with the unit's own CRC, the second-memory name and the
// slot's security entry, resealing the security block.
#pragma once

#include "sim/Config.h"

namespace vrxsim {

class Unit;

void StoreImage(Unit& unit, const StoredImage& image);

// Where second-memory image names live: 0xE00 on generation 3, else 0x1EFF80.
uint32_t SecondNamesBase(int fwMajor);

}  // namespace vrxsim
