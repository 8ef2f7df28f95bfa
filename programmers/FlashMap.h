// The layout of the selected programmer's flash.
#pragma once

// Generations 1 and 2 have a fixed layout; generation 3 keeps its map in
// flash at 0xF00. False when that read failed (the map keeps its values).
bool ReadFlashMap();

constexpr int FlashMapAddress = 0xF00;
constexpr int FlashMapBytes = 80;
