// Saving a stored image back to a file: uploaded with ReadFlash and written
// as Intel HEX in the address layout its programmer type loads, or as a
// one-line IIC script.
#pragma once

#include <cstdint>
#include <string>

// The refusal of a slot that holds no image: the programmer's own code 7,
// "Selected Image is Empty".
constexpr int32_t ErrSlotEmpty = 7;

// Saves slot ImageNumber; an empty name asks with the save dialog. True also
// when the operator cancels.
bool SaveImageToFile(const std::string& fileName);
// Saves slot ImageNumber to the named file, as Intel HEX or as an IIC script.
// A slot the directory shows empty is refused (ErrSlotEmpty) before any file
// is made. The upload is checked first (error 1505 when it does not hold), and
// the file is replaced only by a complete one.
bool SaveImageAs(const std::string& path, bool iic);
// The slot's read protection, from the security table in memory (every slot
// while the block is damaged): such an image is never uploaded.
bool SlotReadProtected(int slot);
// The refusal shown for a read-protected slot.
constexpr const char* ReadProtectedMessage = "** Image read failure **\r\nThis image is read protected";

// The file texts from the uploaded buffers (ImageBuffer, EEBuffer, AuxBuffer).
std::string WriteHexFile(int32_t count, const std::string& familyName);
std::string WriteIicFile(int32_t count);

// One data record line (with CR LF) at a 16-bit offset.
std::string HexDataLine(int32_t offset, const uint8_t* data, int count);
