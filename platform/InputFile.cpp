#include "platform/InputFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileErrors.h"

namespace {

// Opens path for reading when it is a regular file within the bound; the
// descriptor is closed by the caller.
int32_t OpenChecked(const std::string& path, int& fd, int64_t& size, std::string& reason) {
  fd = -1;
  if (path.empty()) {
    reason = "no file name";
    return ErrFileNotFound;
  }
  // Not blocking: opening a FIFO would otherwise wait for a writer.
  fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int code = errno;
    reason = std::strerror(code);
    return code == ENOENT || code == ENOTDIR ? ErrFileNotFound : ErrFileAccess;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    reason = std::strerror(errno);
    return ErrFileAccess;
  }
  if (!S_ISREG(info.st_mode)) {
    reason = S_ISDIR(info.st_mode) ? "a folder, not a file" : "not a regular file";
    return ErrFileAccess;
  }
  if (info.st_size > MaxInputFileBytes) {
    reason = InputTooLarge(info.st_size);
    return ErrFileFormat;
  }
  size = info.st_size;
  return 0;
}

struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

std::string InputTooLarge(int64_t size) {
  return "larger than any image file (" + std::to_string(size) + " bytes; at most " +
         std::to_string(MaxInputFileBytes) + ")";
}

int32_t OpenInputFile(const std::string& path, int& fd, int64_t& size, std::string& reason) {
  Descriptor file;
  const int32_t number = OpenChecked(path, file.fd, size, reason);
  fd = number == 0 ? file.fd : -1;
  if (number == 0) file.fd = -1;
  return number;
}

int32_t CheckInputFile(const std::string& path, std::string& reason) {
  Descriptor file;
  int64_t size = 0;
  return OpenChecked(path, file.fd, size, reason);
}

int32_t ReadInputFile(const std::string& path, std::string& text, std::string& reason) {
  text.clear();
  Descriptor file;
  int64_t size = 0;
  if (const int32_t number = OpenChecked(path, file.fd, size, reason)) return number;
  const int fd = file.fd;
  // One read into a string sized for the whole file; a file that grows
  // meanwhile is still held to the bound.
  text.resize(static_cast<size_t>(size));
  size_t got = 0;
  for (;;) {
    if (got == text.size()) {
      if (got > static_cast<size_t>(MaxInputFileBytes)) {
        text.clear();
        reason = InputTooLarge(static_cast<int64_t>(got));
        return ErrFileFormat;
      }
      text.resize(got + (size_t{1} << 16));
    }
    const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      reason = std::strerror(errno);
      text.clear();
      return ErrFileAccess;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  text.resize(got);
  return 0;
}
