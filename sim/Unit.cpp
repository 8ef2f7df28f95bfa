#include "sim/Unit.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>

#include "sim/Bytes.h"
#include "sim/Crc16.h"
#include "sim/FlashLayout.h"
#include "sim/Protocol.h"
#include "sim/StoredImages.h"

namespace vrxsim {
namespace {

constexpr size_t kDefaultTargetBytes = 4096;

// Takes address, slots, slot size and type from a configuration block,
// leaving out values that cannot be meant (erased or out of range).
void ApplyConfigBlock(const uint8_t* block, UnitConfig& c) {
  uint8_t address = block[kAddressOffset];
  if (address >= 1 && address <= 16) c.address = address;
  uint8_t slots = block[kSlotsOffset];
  if (slots != 0 && slots != 0xFF) c.slots = slots;
  if (block[kSlotSizeOffset] != 0xFF) c.slotSizeCode = block[kSlotSizeOffset];
  if (block[kTypeOffset] != 0xFF) c.type = block[kTypeOffset];
}

bool ReadFileHead(const std::string& path, uint8_t* out, size_t n) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  ssize_t got = pread(fd, out, n, 0);
  close(fd);
  return got == ssize_t(n);
}

std::vector<uint8_t> Answer(uint8_t code, uint8_t status) {
  return {uint8_t(code + kReplyIdOffset), status};
}

// Status for a command whose payload must be exactly `want` bytes long.
uint8_t LengthStatus(size_t have, size_t want) {
  if (have < want) return kMissingParameter;
  if (have > want) return kBadParameter;
  return kOk;
}

}  // namespace

Unit::Unit(const UnitConfig& config, const std::string& flashFile) : config_(config) {
  if (config_.slots < 1 || config_.slots > 254) throw std::invalid_argument("slots must be 1..254");
  if (config_.slotSizeCode < 0 || config_.slotSizeCode > 255)
    throw std::invalid_argument("slot size code must be 0..255");
  if (config_.address < 0 || config_.address > 255) throw std::invalid_argument("address must be 0..255");

  bool existed = false;
  if (flashFile.empty()) {
    flash_ = FlashStore::InMemory(RequiredFlashSize(config_.slots, SlotSizeBytes(config_.slotSizeCode)));
  } else {
    // A stored configuration block wins, and the file is sized for it.
    uint8_t block[kConfigSize];
    if (ReadFileHead(flashFile, block, kConfigSize)) ApplyConfigBlock(block, config_);
    flash_ = FlashStore::MapFile(flashFile, RequiredFlashSize(config_.slots, SlotSizeBytes(config_.slotSizeCode)),
                                 existed);
  }
  if (!existed) WriteConfigBlock(flash_.data(), config_);
  if (!existed && config_.ateOptions) {
    for (int n = 0; n < kAteOptions; ++n) {
      flash_.data()[kAteOptionsBase + 2 * n] = 0;      // slot 1
      flash_.data()[kAteOptionsBase + 2 * n + 1] = 0;  // all ports, no options
    }
  }
  if (config_.fwMajor >= 3) initialiseFlashMapIfErased();
  loadConfigBlock();
  enableByte_ = flash_.data()[kDefaultsOffset + 1] & 0x3F;
  for (const StoredImage& image : config_.images) StoreImage(*this, image);
}

void Unit::loadConfigBlock() {
  ApplyConfigBlock(flash_.data() + kConfigBase, config_);
  serials_.resize(size_t(config_.slots));
}

void Unit::initialiseFlashMapIfErased() {
  const uint8_t* map = flash_.data() + kFlashMapBase;
  if (std::all_of(map, map + kFlashMapSize, [](uint8_t b) { return b == 0xFF; }))
    WriteFlashMap(flash_.data(), DefaultFlashMap(config_.slots, SlotSizeBytes(config_.slotSizeCode)));
}

bool Unit::answersAt(int baud, double nowMs) const {
  if (restartPending_ && nowMs < restartAtMs_) return false;
  switch (config_.baud) {
    case Baud::B38400: return baud == 38400;
    case Baud::B115200: return baud == 115200;
    case Baud::Both: return baud == 38400 || baud == 115200;
  }
  return false;
}

TargetConfig& Unit::target(int port) {
  if (port < 0 || port > 3) throw std::out_of_range("port must be 0..3");
  return config_.targets[port];
}

std::vector<uint8_t> Unit::serialRecord(int slot) const {
  const auto& r = serials_.at(size_t(slot));
  return std::vector<uint8_t>(r.begin(), r.end());
}

uint32_t Unit::imageBase() const {
  return config_.fwMajor >= 3 ? GetLe32(flash_.data() + kFlashMapBase + 4 * kImageBase) : kLegacyImageBase;
}

uint32_t Unit::imageSlotSize() const {
  return config_.fwMajor >= 3 ? GetLe32(flash_.data() + kFlashMapBase + 4 * kImageSlotSize)
                              : SlotSizeBytes(config_.slotSizeCode);
}

bool Unit::rangeOk(uint64_t address, uint64_t n) const { return address + n <= flash_.size(); }

bool Unit::slotEmpty(int slot) const {
  int32_t size = int32_t(GetLe32(flash_.data() + kDirectoryBase + kDirEntrySize * uint32_t(slot)));
  return size < 1;
}

std::array<uint8_t, 4> Unit::portStatus(double nowMs) const {
  std::array<uint8_t, 4> s{};
  for (int port = 0; port < 4; ++port)
    s[port] = run_ ? run_->status(port, nowMs) : uint8_t(portEnabled(port) ? kDone : kDisabled);
  return s;
}

// ---- Runs ----

void Unit::startRun(RunKind kind, int slot, int readPort, double nowMs) {
  uint32_t count = kUnlimitedCount;
  if (kind == RunKind::Program && slot < kSecuritySlots)
    count = GetLe32(flash_.data() + kSecurityBase + 7 * uint32_t(slot));
  bool limited = count != kUnlimitedCount;
  uint32_t remaining = count;  // devices the slot may still program, handed out in port order
  // Serial numbers the slot may still hand out: a device gets none twice and none cut to size.
  uint64_t serialsLeft = kind == RunKind::Program ? this->serialsLeft(slot) : UINT64_MAX;

  std::array<PortPlan, 4> plans;
  for (int port = 0; port < 4; ++port) {
    PortPlan& plan = plans[port];
    plan.idleCode = portEnabled(port) ? kDone : kDisabled;
    plan.active = kind == RunKind::Read ? port == readPort : portEnabled(port);
    if (!plan.active) continue;
    const TargetConfig& t = config_.targets[port];
    plan.stepMs = t.stepMs;
    if (!t.present) {
      plan.steps = {kWaitingForPower};
      plan.result = kNoTargetVcc;
      continue;
    }
    if (limited && (count == 0 || (t.result == kDone && remaining == 0))) {
      plan.result = kImageCountExpired;
      continue;
    }
    if (limited && t.result == kDone) --remaining;
    if (t.result == kDone && serialsLeft != UINT64_MAX) {
      if (serialsLeft == 0) {
        plan.result = kImageCountExpired;
        continue;
      }
      --serialsLeft;
    }
    plan.steps = kind == RunKind::Program ? t.programSteps : kind == RunKind::Verify ? t.verifySteps : t.readSteps;
    plan.result = t.result;
  }
  run_.emplace(kind, slot, nowMs, plans);
  applied_ = {};
}

void Unit::advance(double nowMs) {
  if (restartPending_ && nowMs >= restartAtMs_) restart();
  if (!run_) return;
  // Effects go in the order the ports finished, so the slot's serial
  // number and count are handed out as the device would.
  std::vector<std::pair<double, int>> finished;
  for (int port = 0; port < 4; ++port) {
    if (!run_->plan(port).active || applied_[port]) continue;
    if (run_->cancelled(port))
      applied_[port] = true;
    else if (run_->finishMs(port) <= nowMs)
      finished.emplace_back(run_->finishMs(port), port);
  }
  std::sort(finished.begin(), finished.end());
  for (const auto& f : finished) finishPort(f.second);
}

void Unit::finishPort(int port) {
  applied_[port] = true;
  if (run_->plan(port).result != kDone) return;
  switch (run_->kind()) {
    case RunKind::Program:
      consumeCount(run_->slot());
      writeSerial(port, run_->slot());
      break;
    case RunKind::Verify:
      break;
    case RunKind::Read:
      copyTargetMemory(port, run_->slot());
      break;
  }
}

void Unit::consumeCount(int slot) {
  if (slot >= kSecuritySlots) return;
  uint8_t* security = flash_.data() + kSecurityBase;
  uint32_t count = GetLe32(security + 7 * slot);
  if (count == kUnlimitedCount || count == 0) return;
  PutLe32(security + 7 * slot, count - 1);
  // Keep the block valid for the PC's check.
  uint16_t crc = Crc16(security, kSecurityCrcSpan);
  security[kSecurityCrcSpan] = uint8_t(crc);
  security[kSecurityCrcSpan + 1] = uint8_t(crc >> 8);
}

// A slot's serialization record: memory, format, address (4), next number (6).
namespace {
struct SerialSetup {
  uint8_t memory = 0;
  int size = 0;
  bool msbFirst = false;
  uint32_t address = 0;
  uint64_t next = 0;
  uint64_t limit = 0;
};

SerialSetup ReadSetup(const std::array<uint8_t, 12>& record) {
  SerialSetup s;
  s.memory = record[0];
  s.size = record[1] & 0x7F;
  s.msbFirst = (record[1] & 0x80) != 0;
  s.address = GetLe32(record.data() + 2);
  for (int i = 5; i >= 0; --i) s.next = s.next << 8 | record[size_t(6 + i)];
  s.limit = s.size >= 1 && s.size <= 6 ? (uint64_t{1} << (8 * s.size)) - 1 : 0;
  return s;
}
}  // namespace

uint64_t Unit::serialsLeft(int slot) const {
  if (slot < 0 || size_t(slot) >= serials_.size()) return UINT64_MAX;
  const SerialSetup s = ReadSetup(serials_[size_t(slot)]);
  if (s.memory == 0) return UINT64_MAX;
  return s.next > s.limit ? 0 : s.limit - s.next + 1;
}

void Unit::writeSerial(int port, int slot) {
  auto& record = serials_[size_t(slot)];
  const SerialSetup s = ReadSetup(record);
  if (s.memory == 0 || s.next > s.limit) return;  // off, or the numbers are used up
  TargetConfig& t = config_.targets[port];
  std::vector<uint8_t>* memory = s.memory == 1 ? &t.memory : s.memory == 2 ? &t.eeprom : &t.user;
  if (memory == &t.memory && memory->empty()) {
    memory->resize(kDefaultTargetBytes);
    for (size_t i = 0; i < memory->size(); ++i) (*memory)[i] = uint8_t(i);
  }
  const uint64_t end = uint64_t(s.address) + uint64_t(s.size);
  if (memory->size() < end) memory->resize(size_t(end), 0xFF);
  for (int i = 0; i < s.size; ++i) {
    const uint8_t b = uint8_t(s.next >> (8 * i));
    (*memory)[size_t(s.address) + size_t(s.msbFirst ? s.size - 1 - i : i)] = b;
  }
  lastSerials_[port] = {};
  for (int i = 0; i < 6; ++i) lastSerials_[port][size_t(i)] = uint8_t(s.next >> (8 * i));
  const uint64_t following = s.next + 1;
  for (int i = 0; i < 6; ++i) record[size_t(6 + i)] = uint8_t(following >> (8 * i));
}

void Unit::copyTargetMemory(int port, int slot) {
  const TargetConfig& t = config_.targets[port];
  std::vector<uint8_t> pattern;
  const std::vector<uint8_t>* memory = &t.memory;
  if (memory->empty()) {
    pattern.resize(kDefaultTargetBytes);
    for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = uint8_t(i);
    memory = &pattern;
  }
  uint64_t base = uint64_t(imageBase()) + uint64_t(slot) * imageSlotSize();
  if (base >= flash_.size()) return;
  uint64_t area = std::min<uint64_t>(imageSlotSize(), flash_.size() - base);
  // What the target does not hold reads back erased.
  std::memset(flash_.data() + base, 0xFF, area);
  std::memcpy(flash_.data() + base, memory->data(), std::min<uint64_t>(memory->size(), area));
}

void Unit::restart() {
  restartPending_ = false;
  // The installed firmware tells its revision; without one the configured reload revision holds.
  const uint32_t base = config_.fwMajor >= 3 ? GetLe32(flash_.data() + kFlashMapBase + 4 * kFirmwareBase)
                                             : kLegacyFirmwareBase;
  if (rangeOk(base, 6) && std::equal(kFirmwareMagic, kFirmwareMagic + 4, flash_.data() + base)) {
    config_.fwMinor = flash_.data()[base + 4];
    config_.fwMajor = flash_.data()[base + 5];
  } else {
    if (config_.reloadFwMajor >= 0) config_.fwMajor = config_.reloadFwMajor;
    if (config_.reloadFwMinor >= 0) config_.fwMinor = config_.reloadFwMinor;
  }
  unlocked_ = false;
  run_.reset();
  loadConfigBlock();
  if (config_.fwMajor >= 3) initialiseFlashMapIfErased();
  enableByte_ = flash_.data()[kDefaultsOffset + 1] & 0x3F;
}

// ---- Commands ----

std::optional<std::vector<uint8_t>> Unit::handle(const std::vector<uint8_t>& p, double nowMs) {
  advance(nowMs);
  if (restartPending_ && nowMs < restartAtMs_) return std::nullopt;
  if (p.empty()) return Answer(0, kMissingParameter);
  const uint8_t code = p[0];
  const size_t len = p.size();
  uint8_t st = kOk;
  switch (code) {
    case kFwRev:
      if ((st = LengthStatus(len, 1))) return Answer(code, st);
      return Reply{uint8_t(code + kReplyIdOffset), kOk, uint8_t(config_.fwMinor), uint8_t(config_.fwMajor)};
    case kWriteFlash:
      return writeFlash(p);
    case kReadFlash:
      return readFlash(p);
    case kCrcFlash:
      return crcFlash(p);
    case kProgram:
      return startProgramOrVerify(p, RunKind::Program, nowMs);
    case kVerify:
      return startProgramOrVerify(p, RunKind::Verify, nowMs);
    case kReadDevice:
      return readDevice(p, nowMs);
    case kGetStatus: {
      if ((st = LengthStatus(len, 1))) return Answer(code, st);
      Reply r = Answer(code, kOk);
      for (uint8_t s : portStatus(nowMs)) r.push_back(s);
      return r;
    }
    case kCancelProgramming:
      if ((st = LengthStatus(len, 1))) return Answer(code, st);
      if (run_) run_->cancel(nowMs);
      return Answer(code, kOk);
    case kPortsEnable:
      if ((st = LengthStatus(len, 2))) return Answer(code, st);
      enableByte_ = p[1] & 0x3F;
      return Answer(code, kOk);
    case kWriteSerialization:
    case kReadSerialization:
    case kGetLastSerials:
      return serialization(p);
    case kConfigureProgrammer:
      // The reply still leaves from the old address; the new one holds afterwards.
      if ((st = LengthStatus(len, 1))) return Answer(code, st);
      loadConfigBlock();
      return Answer(code, kOk);
    case kLoadFirmware:
      if ((st = LengthStatus(len, 1))) return Answer(code, st);
      run_.reset();
      restartPending_ = true;
      restartAtMs_ = config_.reloadSilenceMs < 0 ? std::numeric_limits<double>::infinity()
                                                 : nowMs + config_.reloadSilenceMs;
      return Answer(code, kOk);
    case kUnlockFlash:
      if ((st = LengthStatus(len, 1))) return Answer(code, st);
      unlocked_ = true;
      return Answer(code, kOk);
    default:
      return Answer(code, kBadCommand);
  }
}

Unit::Reply Unit::writeFlash(const std::vector<uint8_t>& p) {
  if (p.size() < 7) return Answer(p[0], kMissingParameter);
  uint32_t address = GetLe32(&p[1]);
  uint16_t n = GetLe16(&p[5]);
  if (n > kMaxBlock || p.size() != 7u + n || !rangeOk(address, n)) return Answer(p[0], kBadParameter);
  if (!unlocked_) return Answer(p[0], kFlashWriteError);
  std::memcpy(flash_.data() + address, &p[7], n);
  return Answer(p[0], kOk);
}

Unit::Reply Unit::readFlash(const std::vector<uint8_t>& p) {
  if (uint8_t st = LengthStatus(p.size(), 7)) return Answer(p[0], st);
  uint32_t address = GetLe32(&p[1]);
  uint16_t n = GetLe16(&p[5]);
  if (n > kMaxBlock || !rangeOk(address, n)) return Answer(p[0], kBadParameter);
  if (config_.failConfigRead && n > 0 && address < kConfigSize) return Answer(p[0], kFlashWriteError);
  Reply r = Answer(p[0], kOk);
  r.insert(r.end(), flash_.data() + address, flash_.data() + address + n);
  return r;
}

Unit::Reply Unit::crcFlash(const std::vector<uint8_t>& p) {
  if (uint8_t st = LengthStatus(p.size(), 9)) return Answer(p[0], st);
  uint32_t address = GetLe32(&p[1]);
  uint32_t length = GetLe32(&p[5]);
  if (!rangeOk(address, length)) return Answer(p[0], kBadParameter);
  uint16_t crc = Crc16(flash_.data() + address, length);
  Reply r = Answer(p[0], kOk);
  AppendLe16(r, crc);
  return r;
}

Unit::Reply Unit::startProgramOrVerify(const std::vector<uint8_t>& p, RunKind kind, double nowMs) {
  if (uint8_t st = LengthStatus(p.size(), 2)) return Answer(p[0], st);
  if (runBusy(nowMs)) return Answer(p[0], kProgrammerBusy);
  int slot = p[1];
  if (slot >= config_.slots) return Answer(p[0], kInvalidImage);
  if (slotEmpty(slot)) return Answer(p[0], kImageEmpty);
  startRun(kind, slot, -1, nowMs);
  return Answer(p[0], kOk);
}

Unit::Reply Unit::readDevice(const std::vector<uint8_t>& p, double nowMs) {
  if (uint8_t st = LengthStatus(p.size(), 3)) return Answer(p[0], st);
  if (runBusy(nowMs)) return Answer(p[0], kProgrammerBusy);
  int port = p[1];
  int slot = p[2];
  if (port >= 4) return Answer(p[0], kBadParameter);
  if (slot >= config_.slots) return Answer(p[0], kInvalidImage);
  startRun(RunKind::Read, slot, port, nowMs);
  return Answer(p[0], kOk);
}

Unit::Reply Unit::serialization(const std::vector<uint8_t>& p) {
  const uint8_t code = p[0];
  if (!config_.serialization) return Answer(code, kBadCommand);
  if (code == kGetLastSerials) {
    if (uint8_t st = LengthStatus(p.size(), 1)) return Answer(code, st);
    Reply r = Answer(code, kOk);
    for (const auto& serial : lastSerials_) r.insert(r.end(), serial.begin(), serial.end());
    return r;
  }
  const size_t want = code == kWriteSerialization ? 14 : 2;
  if (uint8_t st = LengthStatus(p.size(), want)) return Answer(code, st);
  int slot = p[1];
  if (slot >= config_.slots) return Answer(code, kInvalidImage);
  auto& record = serials_[size_t(slot)];
  if (code == kWriteSerialization) {
    std::copy(p.begin() + 2, p.end(), record.begin());
    return Answer(code, kOk);
  }
  Reply r = Answer(code, kOk);
  r.insert(r.end(), record.begin(), record.end());
  return r;
}

}  // namespace vrxsim
