// Which contents of the programmers' image slots a verdict was run with.
// Every operation that writes or erases a slot (download, delete, a target
// read into a slot, a firmware upgrade, a new scan) bumps that slot's
// generation, whoever started it: a window, the automation interface or a
// command. A verdict keeps the generation it was run with; once the slot's
// generation differs, the verdict belongs to an earlier image.
#pragma once

#include <cstdint>

// The generation of slot `slot` (1..4) of the programmer at `address`.
uint64_t SlotGeneration(uint8_t address, int slot);

// The slot's contents change (or may have changed). Slot 0: every slot of
// that programmer; address 0: every programmer. The windows showing
// verdicts are told at once.
void SlotContentsChanged(uint8_t address, int slot);

// ImageNumber now names another slot: the windows showing verdicts are told.
void ImageChoiceChanged();
