// The security block at 0x20: per slot a count of devices still allowed
// (-1 = no limit) and flags (bit 0 = read protected), a security word, and
// the programmer's own CRC of the first 30 bytes.
#pragma once

#include <array>
#include <cstdint>

constexpr int SecurityBlockAddress = 0x20;
constexpr int SecurityBlockBytes = 32;
constexpr int SecurityCrcRange = 30;

// The status text when a damaged block was reset.
constexpr const char* SecurityResetText = "Security Block Invalid - Reset to No Limits and No Protection";

bool ReadSecurityBlock();
bool WriteSecurityBlock();
// No limits and no flags, then written.
bool ClearSecurityBlock();

// A change to slot entries by a load or a target read. Begin reads the block
// before anything is written, so a failed read stops the operation; a block
// that repeated reads agree is damaged starts anew, said in the status bar.
// Commit writes the table back. Writing takes three steps, and between the
// first and the last the programmer holds the block unsealed, which the next
// selection would reset: where Commit fails it puts the sealed block back if
// the line still answers, and the last-error record keeps the failure.
class SecurityUpdate {
 public:
  bool Begin();
  bool Commit();

 private:
  bool wasSealed_ = false;
  std::array<uint8_t, SecurityBlockBytes> sealed_{};
};
