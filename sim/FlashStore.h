// A unit's flash memory: either plain memory or a file mapped MAP_SHARED,
// so that the content survives a restart of the simulator as real flash does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vrxsim {

class FlashStore {
 public:
  FlashStore() = default;
  ~FlashStore();
  FlashStore(FlashStore&& other) noexcept;
  FlashStore& operator=(FlashStore&& other) noexcept;
  FlashStore(const FlashStore&) = delete;
  FlashStore& operator=(const FlashStore&) = delete;

  // Erased (0xFF) flash of `size` bytes in memory.
  static FlashStore InMemory(size_t size);
  // Maps `path`, creating it when missing. A new file, or one shorter than
  // `minSize`, is extended with erased bytes. Throws std::runtime_error.
  static FlashStore MapFile(const std::string& path, size_t minSize, bool& existed);

  uint8_t* data() { return data_; }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  void release();

  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  bool mapped_ = false;
  std::vector<uint8_t> memory_;
};

}  // namespace vrxsim
