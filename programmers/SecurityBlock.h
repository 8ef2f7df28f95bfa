// The security block at 0x20: per slot a count of devices still allowed
// (-1 = no limit) and flags (bit 0 = read protected), a security word, and
// the programmer's own CRC of the first 30 bytes.
#pragma once

#include <array>
#include <cstdint>
#include <string>

constexpr int SecurityBlockAddress = 0x20;
constexpr int SecurityBlockBytes = 32;
constexpr int SecurityCrcRange = 30;

// A block whose stored CRC does not match its bytes is damaged: nothing in it
// can be trusted, so every slot counts as read protected and nothing rewrites
// it until an engineer resets it.
constexpr int32_t ErrSecurityDamaged = 1521;
constexpr const char* SecurityDamagedTitle = "Security Block Damaged";
constexpr const char* SecurityDamagedText =
    "Security Block Damaged - All Images Read Protected until it is Reset (Configure, Reset Security Block)";
// The status text when a block with a wrong CRC protected no stored image and
// was written anew.
constexpr const char* SecurityResetText = "Security Block Invalid - Reset to No Limits and No Protection";
// What the image grid shows for a slot's count while the block is damaged.
constexpr const char* SecurityDamagedCount = "Damaged";

bool ReadSecurityBlock();
// Reads the block of the programmer at the current address without taking it
// as the selected programmer's: whether its seal matches its bytes.
bool ReadSecurityBlockSealed(bool& sealed);

// A program run would count devices off a damaged block (and the programmer
// would seal the untrusted bytes as it does so): refused, with the reason in
// the last-error record. Returns false.
bool RefuseRunOnDamagedBlock(const std::string& title);
// The block is sealed on the PC and written whole in one command, then read
// back and checked against the programmer's CRC: a cut at any point leaves the
// old sealed block or the new one, never an unsealed one.
bool WriteSecurityBlock();
// No limits and no flags, then written.
bool ClearSecurityBlock();

// The explicit reset of a damaged block (no limits, no protection) that the
// Configure menu and the command line offer after asking. Refused when the
// block reads intact: it then holds protection nobody may drop this way.
bool ResetSecurityBlock();
std::string ResetSecurityQuestion();
constexpr const char* ResetSecurityTitle = "Reset Security Block";

// A change to slot entries by a load or a target read. Begin reads the block
// before anything is written, so a failed read stops the operation, and a
// damaged block refuses the operation (ErrSecurityDamaged). Commit writes the
// table back; where it fails and the line still answers it puts the sealed
// block that was there back, and the last-error record keeps the failure.
class SecurityUpdate {
 public:
  bool Begin();
  bool Commit();

 private:
  std::array<uint8_t, SecurityBlockBytes> sealed_{};
};

// The block as last read or written: its word, its CRC and whether the CRC held.
extern int16_t SecurityWord;
extern std::array<uint8_t, 2> SecurityCrc;
extern bool SecurityValid;
// Puts the globals above back to their start values.
void ResetSecurityBlockState();
