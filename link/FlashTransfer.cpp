// WriteFlash, ReadFlash and CrcFlash: flash commands that unlock first and
// raise programmer status s as error 1000 + s.
#include <algorithm>
#include <vector>

#include "link/CommDefs.h"
#include "link/CommandFrame.h"
#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "link/Frame.h"
#include "link/LineState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/views/MainWindowView.h"

namespace {
const CommandInfo InfoWriteFlash{CmdWriteFlash, TimeoutFlashBlock, "Write Flash", "Write Flash"};
const CommandInfo InfoReadFlash{CmdReadFlash, TimeoutFlashBlock, "Read Flash", "Read Flash"};
const CommandInfo InfoCrcFlash{CmdCrcFlash, 0, "Crc Flash", "Crc Flash"};

// CancellableTransfers alive; nested ones count.
int cancellableDepth = 0;

bool RaiseCancelled() {
  RaiseError(ErrCancelled, "Cancel", CancelledText);
  return false;
}

// Moves count bytes in blocks; `block` sends one block and stores what it brought back.
template <typename SendBlock>
bool TransferBlocks(const CommandInfo& info, int32_t address, int32_t count, bool showProgress,
                    SendBlock block) {
  if (!UnlockFlash()) return false;
  LastFunction = info.name;
  if (showProgress) {
    frmMain->SetProgressValue(0);
    frmMain->SetProgressVisible(true);
  }
  int32_t remaining = count;
  int32_t done = 0;
  while (remaining > 0) {
    const int32_t n = remaining < FlashBlockSize ? remaining : FlashBlockSize;
    if (cancellableDepth > 0 && CancelRequest && !RaiseCancelled()) break;
    if (!block(address, done, n)) break;
    address += n;
    done += n;
    remaining -= n;
    if (showProgress) frmMain->SetProgressValue(static_cast<int>(static_cast<int64_t>(done) * 100 / count));
  }
  CaptureError();
  if (showProgress) frmMain->SetProgressVisible(false);
  return LastErrorNumber == 0;
}

constexpr int MostConfirmingReads = 4;

bool FailReadVerify(const char* source) {
  RaiseError(ErrReadVerify, source, "Read-Verify Error");
  CaptureError();
  return false;
}

std::vector<uint8_t> BlockHeader(uint8_t code, int32_t address, int32_t n) {
  std::vector<uint8_t> payload{code};
  AppendLittleEndian(payload, static_cast<uint32_t>(address), 4);
  AppendLittleEndian(payload, static_cast<uint32_t>(n), 2);
  return payload;
}
}  // namespace

bool WriteFlash(int32_t address, int32_t count, const uint8_t* data, bool showProgress) {
  return TransferBlocks(InfoWriteFlash, address, count, showProgress,
                        [data](int32_t blockAddress, int32_t offset, int32_t n) {
                          std::vector<uint8_t> payload = BlockHeader(CmdWriteFlash, blockAddress, n);
                          payload.insert(payload.end(), data + offset, data + offset + n);
                          return ExchangeCommand(InfoWriteFlash, payload, 0, StatusErrors::AsFlashBlockError);
                        });
}

bool ReadFlash(int32_t address, int32_t count, uint8_t* data, bool showProgress) {
  return TransferBlocks(InfoReadFlash, address, count, showProgress,
                        [data](int32_t blockAddress, int32_t offset, int32_t n) {
                          if (!ExchangeCommand(InfoReadFlash, BlockHeader(CmdReadFlash, blockAddress, n), n,
                                               StatusErrors::AsFlashBlockError, ReadFlashStatusAccepted)) {
                            return false;
                          }
                          std::copy(RxBuffer.begin() + 2, RxBuffer.begin() + 2 + n, data + offset);
                          return true;
                        });
}

bool CrcFlash(int32_t address, int32_t length, std::array<uint8_t, 2>& crc) {
  if (!UnlockFlash()) return false;
  LastFunction = InfoCrcFlash.name;
  CommandInfo info = InfoCrcFlash;
  info.timeout = CrcFlashTimeout(length);
  std::vector<uint8_t> payload{CmdCrcFlash};
  AppendLittleEndian(payload, static_cast<uint32_t>(address), 4);
  AppendLittleEndian(payload, static_cast<uint32_t>(length), 4);
  if (ExchangeCommand(info, payload, 2, StatusErrors::AsFlashBlockError)) {
    crc[0] = RxBuffer[2];
    crc[1] = RxBuffer[3];
  }
  CaptureError();
  return LastErrorNumber == 0;
}

bool ConfirmFlashRead(int32_t address, int32_t count, uint8_t* data, bool showProgress, const char* source) {
  std::vector<uint8_t> again(static_cast<size_t>(count));
  for (int reads = 1; reads < MostConfirmingReads; ++reads) {
    if (!ReadFlash(address, count, again.data(), showProgress)) return false;
    if (std::equal(again.begin(), again.end(), data)) return true;
    std::copy(again.begin(), again.end(), data);
  }
  return FailReadVerify(source);
}

bool ReadFlashConfirmed(int32_t address, int32_t count, uint8_t* data) {
  return ReadFlash(address, count, data, false) && ConfirmFlashRead(address, count, data, false, "Read Flash");
}

bool CrcFlashConfirmed(int32_t address, int32_t length, std::array<uint8_t, 2>& crc) {
  std::array<uint8_t, 2> previous{};
  if (!CrcFlash(address, length, previous)) return false;
  for (int reads = 1; reads < MostConfirmingReads; ++reads) {
    if (!CrcFlash(address, length, crc)) return false;
    if (crc == previous) return true;
    previous = crc;
  }
  return FailReadVerify("Crc Flash");
}

bool WriteFlashVerified(int32_t address, int32_t count, const uint8_t* data) {
  if (!WriteFlash(address, count, data, false)) return false;
  // One read back: a flipped byte on either way shows as a difference.
  std::vector<uint8_t> stored(static_cast<size_t>(count));
  if (!ReadFlash(address, count, stored.data(), false)) return false;
  if (!std::equal(stored.begin(), stored.end(), data)) return FailReadVerify("Write Flash");
  return true;
}

CancellableTransfers::CancellableTransfers() { ++cancellableDepth; }

CancellableTransfers::~CancellableTransfers() {
  if (!ended_) --cancellableDepth;
}

bool CancellableTransfers::End() {
  if (ended_) return true;
  ended_ = true;
  --cancellableDepth;
  if (!CancelRequest) return true;
  RaiseCancelled();
  CaptureError();
  return false;
}
