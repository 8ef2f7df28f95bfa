#include "programmers/SecurityBlock.h"

#include <algorithm>
#include <array>
#include <vector>

#include "link/CommDefs.h"
#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "link/FlashCrc.h"
#include "platform/Bytes.h"
#include "programmers/UnitState.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"
#include "state/StateList.h"

#define SECURITY_BLOCK_STATE(STATE) \
  STATE(SecurityWord, {0})      \
  STATE(SecurityCrc, {})        \
  STATE(SecurityValid, {false})

SECURITY_BLOCK_STATE(DEFINE_STATE)

namespace {
// The block decides protection and counts and is written back: it is taken
// only as two reads agree, and so is the programmer's CRC of it.
bool ReadBlockAndSeal(std::array<uint8_t, SecurityBlockBytes>& block, bool& sealed) {
  if (!ReadFlashConfirmed(SecurityBlockAddress, SecurityBlockBytes, block.data())) return false;
  std::array<uint8_t, 2> crc{};
  if (!CrcFlashConfirmed(SecurityBlockAddress, SecurityCrcRange, crc)) return false;
  sealed = crc[0] == block[30] && crc[1] == block[31];
  return true;
}
}  // namespace

bool ReadSecurityBlockSealed(bool& sealed) {
  std::array<uint8_t, SecurityBlockBytes> block{};
  return ReadBlockAndSeal(block, sealed);
}

bool ReadSecurityBlock() {
  ClearError();
  ErrorTitle = "Read Security Block";
  std::array<uint8_t, SecurityBlockBytes> block{};
  bool sealed = false;
  if (!ReadBlockAndSeal(block, sealed)) return false;
  for (int i = 0; i < MaxImageSlots; ++i) {
    ImageSecurityEntry& e = ImageSecurity[i];
    e.Count = GetLong(&block[7 * i]);
    e.Flags = block[7 * i + 4];
    e.Spare1 = block[7 * i + 5];
    e.Spare2 = block[7 * i + 6];
  }
  SecurityWord = GetWord(&block[28]);
  SecurityCrc = {block[30], block[31]};
  SecurityValid = sealed;
  SecurityDamaged = !SecurityValid;
  return true;
}

namespace {
// The first 30 bytes from the table and the security word, sealed with the
// CRC the programmer computes over them.
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
  const std::array<uint8_t, 2> seal = FlashCrcBytes(block.data(), SecurityCrcRange);
  block[30] = seal[0];
  block[31] = seal[1];
  return block;
}

bool FailSecurityCheck(const char* source) {
  RaiseError(ErrReadVerify, source, "Read-Verify Error");
  CaptureError();
  return false;
}
}  // namespace

bool SecurityUpdate::Begin() {
  const std::string title = ErrorTitle;
  if (!ReadSecurityBlock()) return false;
  ErrorTitle = title;
  if (SecurityDamaged) {
    // Rewriting it would turn untrusted bytes (or a reset) into protection
    // and counts of record.
    RaiseError(ErrSecurityDamaged, SecurityDamagedTitle, SecurityDamagedText);
    CaptureError();
    return false;
  }
  const std::vector<uint8_t> encoded = EncodeSecurityBlock();
  std::copy(encoded.begin(), encoded.end(), sealed_.begin());
  return true;
}

bool SecurityUpdate::Commit() {
  if (WriteSecurityBlock()) return true;
  const ErrorRecordCopy failure;
  WriteFlash(SecurityBlockAddress, SecurityBlockBytes, sealed_.data(), false);
  failure.Restore();
  return false;
}

bool WriteSecurityBlock() {
  SecurityValid = false;
  const std::vector<uint8_t> block = EncodeSecurityBlock();
  if (!WriteFlash(SecurityBlockAddress, SecurityBlockBytes, block.data(), false)) return false;
  std::array<uint8_t, SecurityBlockBytes> stored{};
  if (!ReadFlashConfirmed(SecurityBlockAddress, SecurityBlockBytes, stored.data())) return false;
  if (!std::equal(stored.begin(), stored.end(), block.begin())) return FailSecurityCheck("Write Security Block");
  // The programmer must take the seal as its own, or it holds a damaged block.
  std::array<uint8_t, 2> crc{};
  if (!CrcFlashConfirmed(SecurityBlockAddress, SecurityCrcRange, crc)) return false;
  if (crc[0] != block[30] || crc[1] != block[31]) return FailSecurityCheck("Crc Flash");
  SecurityCrc = crc;
  SecurityValid = true;
  SecurityDamaged = false;
  return true;
}

bool ClearSecurityBlock() {
  ImageSecurity.fill(ImageSecurityEntry{});
  SecurityWord = 0;
  return WriteSecurityBlock();
}

bool RefuseRunOnDamagedBlock(const std::string& title) {
  RaiseError(ErrSecurityDamaged, title, SecurityDamagedText);
  CaptureError();
  return false;
}

bool ResetSecurityBlock() {
  const LineOperation operation;
  if (!operation.Taken()) return RefuseBusyLine(ResetSecurityTitle);
  if (!ReadSecurityBlock()) return false;
  ErrorTitle = ResetSecurityTitle;
  if (!SecurityDamaged) {
    RaiseError(ErrSecurityDamaged, ResetSecurityTitle, "Security Block is Intact - Nothing to Reset");
    CaptureError();
    return false;
  }
  return ClearSecurityBlock();
}

std::string ResetSecurityQuestion() {
  return "The security block of this programmer is damaged.\r\n"
         "Reset it? Every image loses its read protection and its count limit.";
}

void ResetSecurityBlockState() { SECURITY_BLOCK_STATE(RESET_STATE) }
