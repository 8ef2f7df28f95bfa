// The option bytes of Z8 Encore!, ZNEO and ZLF645 images: the bytes the
// parts read their configuration from, kept inside the image buffers, shown
// as named settings by the option bits windows and written back from them.
// One set of rules serves the windows, the Load Image dialog and the command
// line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Which option bits window (and byte layout) a device has.
enum class OptionBitsKind {
  None,
  Z8Encore,   // frmZ8EOptions: image bytes 0 and 1, layout by variant
  Zneo,       // frmZNEOOptions: image bytes 0 to 3
  Zlf,        // frmZLFOptions: bytes 0xFE and 0xFF of the user-memory (FIB3) page
};

// The window of a device family on a programmer type: on the Z8 Encore!
// type "ZLF645" and "ZNeo" have their own, every other family the Z8
// Encore! one; every family of the ZNEO type is a ZNEO part.
OptionBitsKind OptionBitsKindFor(int progType, const std::string& family);

// The option-bit variant of a Z8 Encore! device: the low 7 bits of DevFlags.
int Z8Variant(int16_t devFlags);

// One setting: a list whose index is the value of the bit field, or a check
// box that is ticked when its bit is 0.
struct OptionBitField {
  const char* control;      // "cbWDT_RES"
  const char* caption;      // frame caption of a list, text of a check box
  int byte;                 // index among the option bytes
  int shift;                // lowest bit
  int width;                // bits
  bool check;               // a check box (ticked = bit 0)
  std::vector<const char*> entries;   // list entries, index = field value
  int preselected;          // list index chosen on opening
};

struct OptionBitsForm {
  const char* form;         // "frmZ8EOptions"
  const char* caption;      // "Z8 Encore! Programming Options"
  int byteCount;
  std::vector<OptionBitField> fields;
};

const OptionBitsForm& OptionBitsFormOf(OptionBitsKind kind);

// Per field of the form: the list index, or 1 for a ticked check box.
using OptionSettings = std::vector<int>;

// The settings shown before anything is decoded: the erased-state entries,
// no check box ticked.
OptionSettings PreselectedSettings(OptionBitsKind kind);

// Every field read from the bytes, whichever layout the device has.
OptionSettings DecodeOptionBytes(OptionBitsKind kind, const std::vector<uint8_t>& bytes);

// The bytes the settings give for the variant (Z8 Encore! only; ignored by
// the others). Settings the variant lacks go in with what they hold.
std::vector<uint8_t> EncodeOptionBytes(OptionBitsKind kind, int variant, const OptionSettings& settings);

// Per field, whether the variant has the setting; nothing for a Z8 Encore!
// variant without a table, whose controls stay as designed (all enabled).
std::optional<std::vector<bool>> EnabledSettings(OptionBitsKind kind, int variant);

// Where the bytes live: ImageBuffer from `first`, or EEBuffer.
struct OptionBytesPlace {
  bool secondMemory = false;
  int first = 0;
  int count = 0;
};
OptionBytesPlace OptionBytesPlaceOf(OptionBitsKind kind);

// The option bytes as the image buffers hold them; bytes beyond a buffer
// read as erased (0xFF).
std::vector<uint8_t> ReadOptionBytes(OptionBitsKind kind);

// Stores the bytes into their buffer, growing it with erased bytes when it
// is too short. False (nothing stored) when the count is wrong.
bool StoreOptionBytes(OptionBitsKind kind, const std::vector<uint8_t>& bytes);

// True when the bytes are what the window could give the device from an
// erased image: every bit the variant has no setting for (and every fixed
// bit) keeps its erased value 1. Otherwise false with the reason in `why`.
bool OptionBytesAllowed(OptionBitsKind kind, int variant, const std::vector<uint8_t>& bytes, std::string& why);
