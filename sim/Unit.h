// One simulated VRX programmer: its flash, its command handling and the runs
// of its four target ports. Time is always passed in (nowMs) so the unit
// behaves the same in a unit test as behind the pseudo-terminal.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/Config.h"
#include "sim/FlashStore.h"
#include "sim/PortRun.h"

namespace vrxsim {

class Unit {
 public:
  // flashFile: persistent flash (mapped), "" = in memory. An existing file's
  // configuration block decides address, slots, slot size and type.
  explicit Unit(const UnitConfig& config, const std::string& flashFile = "");

  int address() const { return config_.address; }
  // Matches the line speed and is not restarting after a firmware load.
  bool answersAt(int baud, double nowMs) const;
  // The reply payload to one command payload, or nullopt when silent.
  std::optional<std::vector<uint8_t>> handle(const std::vector<uint8_t>& payload, double nowMs);

  uint8_t* flash() { return flash_.data(); }
  size_t flashSize() const { return flash_.size(); }
  std::array<uint8_t, 4> portStatus(double nowMs) const;
  // The configuration in effect: address, slots, slot size and type follow
  // the configuration block once put into effect; the revision follows a reload.
  const UnitConfig& config() const { return config_; }
  TargetConfig& target(int port);  // 0-based; tests may change it between runs
  std::vector<uint8_t> serialRecord(int slot) const;  // memory, format, address(4), serial(6)

  // Applies everything that happened by nowMs: ports that finished their run
  // (count decrement, serial numbers, device read copy) and a pending restart.
  // handle() does this first; call it before inspecting flash() directly.
  void advance(double nowMs);
  std::array<uint8_t, 6> lastSerial(int port) const { return lastSerials_.at(port); }
  bool flashUnlocked() const { return unlocked_; }
  uint8_t runOptions() const { return enableByte_ & 0x30; }  // CRC verify only, multiple images

  // Where the image of a slot starts and how large it is, as the unit reads its layout.
  uint32_t imageBase() const;
  uint32_t imageSlotSize() const;

 private:
  using Reply = std::vector<uint8_t>;

  void loadConfigBlock();
  void initialiseFlashMapIfErased();
  bool rangeOk(uint64_t address, uint64_t n) const;
  bool slotEmpty(int slot) const;
  bool runBusy(double nowMs) const { return run_ && run_->busy(nowMs); }
  bool portEnabled(int port) const { return !(enableByte_ & (1u << port)); }
  void startRun(RunKind kind, int slot, int readPort, double nowMs);
  void finishPort(int port);
  void consumeCount(int slot);
  void writeSerial(int port, int slot);
  // Serial numbers slot may still write before its number leaves its size; UINT64_MAX when off.
  uint64_t serialsLeft(int slot) const;
  void copyTargetMemory(int port, int slot);
  void restart();

  Reply writeFlash(const std::vector<uint8_t>& p);
  Reply readFlash(const std::vector<uint8_t>& p);
  Reply crcFlash(const std::vector<uint8_t>& p);
  Reply startProgramOrVerify(const std::vector<uint8_t>& p, RunKind kind, double nowMs);
  Reply readDevice(const std::vector<uint8_t>& p, double nowMs);
  Reply serialization(const std::vector<uint8_t>& p);

  UnitConfig config_;
  FlashStore flash_;
  bool unlocked_ = false;
  uint8_t enableByte_ = 0;  // as PortsEnable sends it: bits 0..3 set = port disabled
  std::optional<PortRun> run_;
  std::array<bool, 4> applied_{};  // finished ports whose effects were applied
  bool restartPending_ = false;
  double restartAtMs_ = 0;
  std::vector<std::array<uint8_t, 12>> serials_;
  std::array<std::array<uint8_t, 6>, 4> lastSerials_{};
};

}  // namespace vrxsim
