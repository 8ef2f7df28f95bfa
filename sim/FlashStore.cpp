#include "sim/FlashStore.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace vrxsim {

FlashStore::~FlashStore() { release(); }

FlashStore::FlashStore(FlashStore&& other) noexcept { *this = std::move(other); }

FlashStore& FlashStore::operator=(FlashStore&& other) noexcept {
  if (this != &other) {
    release();
    mapped_ = other.mapped_;
    size_ = other.size_;
    memory_ = std::move(other.memory_);
    data_ = mapped_ ? other.data_ : memory_.data();
    other.data_ = nullptr;
    other.size_ = 0;
    other.mapped_ = false;
  }
  return *this;
}

void FlashStore::release() {
  if (mapped_ && data_) munmap(data_, size_);
  data_ = nullptr;
  size_ = 0;
  mapped_ = false;
  memory_.clear();
}

FlashStore FlashStore::InMemory(size_t size) {
  FlashStore s;
  s.memory_.assign(size, 0xFF);
  s.data_ = s.memory_.data();
  s.size_ = size;
  return s;
}

FlashStore FlashStore::MapFile(const std::string& path, size_t minSize, bool& existed) {
  auto fail = [&](const char* what) {
    throw std::runtime_error("flash file " + path + ": " + what + ": " + std::strerror(errno));
  };
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) fail("cannot open");
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    close(fd);
    fail("cannot stat");
  }
  size_t oldSize = size_t(st.st_size);
  existed = oldSize > 0;
  size_t size = oldSize < minSize ? minSize : oldSize;
  if (size != oldSize && ftruncate(fd, off_t(size)) != 0) {
    close(fd);
    fail("cannot resize");
  }
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);  // the mapping keeps the file
  if (p == MAP_FAILED) fail("cannot map");
  FlashStore s;
  s.data_ = static_cast<uint8_t*>(p);
  s.size_ = size;
  s.mapped_ = true;
  // Grown space reads as zero; flash that was never written is erased.
  std::memset(s.data_ + oldSize, 0xFF, size - oldSize);
  return s;
}

}  // namespace vrxsim
