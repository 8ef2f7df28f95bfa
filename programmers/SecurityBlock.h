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

// The block as the table and seal hold it now: taken after a read that found
// it valid, it is the sealed block in the programmer.
std::array<uint8_t, SecurityBlockBytes> SealedSecurityBlock();
// Writing a block takes three steps, and between the first and the last the
// programmer holds it unsealed, which the next selection would reset. After a
// failed write this puts the sealed block back where the line still answers;
// the last-error record keeps the failure.
void RestoreSecurityBlock(const std::array<uint8_t, SecurityBlockBytes>& sealed);
