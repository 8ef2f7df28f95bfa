// The security block at 0x20: per slot a count of devices still allowed
// (-1 = no limit) and flags (bit 0 = read protected), a security word, and
// the programmer's own CRC of the first 30 bytes.
#pragma once

constexpr int SecurityBlockAddress = 0x20;
constexpr int SecurityBlockBytes = 32;
constexpr int SecurityCrcRange = 30;

// The status text when a damaged block was reset.
constexpr const char* SecurityResetText = "Security Block Invalid - Reset to No Limits and No Protection";

bool ReadSecurityBlock();
bool WriteSecurityBlock();
// No limits and no flags, then written.
bool ClearSecurityBlock();
