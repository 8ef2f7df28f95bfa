#include "programmers/SecurityBlock.h"

#include <array>
#include <vector>

#include "devices/Utils.h"
#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "state/PublicVars.h"
#include "state/views/MainWindowView.h"

bool ReadSecurityBlock() {
  ClearError();
  ErrorTitle = "Read Security Block";
  // The block decides protection and counts and is written back: it is taken
  // only as two reads agree, and so is the programmer's CRC of it.
  std::array<uint8_t, SecurityBlockBytes> block{};
  if (!ReadFlashConfirmed(SecurityBlockAddress, SecurityBlockBytes, block.data())) return false;
  for (int i = 0; i < MaxImageSlots; ++i) {
    ImageSecurityEntry& e = ImageSecurity[i];
    e.Count = GetLong(&block[7 * i]);
    e.Flags = block[7 * i + 4];
    e.Spare1 = block[7 * i + 5];
    e.Spare2 = block[7 * i + 6];
  }
  SecurityWord = GetWord(&block[28]);
  SecurityCrc = {block[30], block[31]};
  std::array<uint8_t, 2> crc{};
  if (!CrcFlashConfirmed(SecurityBlockAddress, SecurityCrcRange, crc)) return false;
  SecurityValid = crc == SecurityCrc;
  return true;
}

namespace {
// The first 30 bytes from the table and the security word; the seal after them is 0.
std::vector<uint8_t> EncodeSecurityBlock() {
  std::vector<uint8_t> block(SecurityBlockBytes, 0);
  for (int i = 0; i < MaxImageSlots; ++i) {
    const ImageSecurityEntry& e = ImageSecurity[i];
    const int at = PutLong(block, 7 * i, e.Count);
    block[at] = e.Flags;
    block[at + 1] = e.Spare1;
    block[at + 2] = e.Spare2;
  }
  PutWord(block, 28, SecurityWord);
  return block;
}
}  // namespace

bool SecurityUpdate::Begin() {
  const std::string title = ErrorTitle;
  if (!ReadSecurityBlock()) return false;
  ErrorTitle = title;
  wasSealed_ = SecurityValid;
  const std::vector<uint8_t> encoded = EncodeSecurityBlock();
  std::copy(encoded.begin(), encoded.end(), sealed_.begin());
  sealed_[30] = SecurityCrc[0];
  sealed_[31] = SecurityCrc[1];
  if (!SecurityValid) {   // damaged beyond doubt: written anew, as selection does
    ImageSecurity.fill(ImageSecurityEntry{});
    SecurityWord = 0;
    if (frmMain) frmMain->SetStatusPanel("ExtStatus2", SecurityResetText);
  }
  return true;
}

bool SecurityUpdate::Commit() {
  if (WriteSecurityBlock()) return true;
  if (wasSealed_) {
    const ErrorRecordCopy failure;
    WriteFlash(SecurityBlockAddress, SecurityBlockBytes, sealed_.data(), false);
    failure.Restore();
  }
  return false;
}

bool WriteSecurityBlock() {
  SecurityValid = false;
  std::vector<uint8_t> block = EncodeSecurityBlock();
  // The programmer's CRC of the first 30 bytes seals the block.
  std::array<uint8_t, 2> crc{};
  if (!WriteFlash(SecurityBlockAddress, SecurityBlockBytes, block.data(), false)) return false;
  if (!CrcFlashConfirmed(SecurityBlockAddress, SecurityCrcRange, crc)) return false;
  block[30] = crc[0];
  block[31] = crc[1];
  if (!WriteFlashVerified(SecurityBlockAddress, SecurityBlockBytes, block.data())) return false;
  SecurityCrc = crc;
  SecurityValid = true;
  return true;
}

bool ClearSecurityBlock() {
  ImageSecurity.fill(ImageSecurityEntry{});
  SecurityWord = 0;
  return WriteSecurityBlock();
}
