#include "platform/OutputFile.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace {

std::string SystemReason(const char* what, const std::string& path, int error) {
  return what + path + ": " + std::strerror(error);
}

const char* KindOf(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a chain of links ends at (the path itself when it is no link), so
// that a link keeps pointing at the file that is replaced.
std::string LinkTarget(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(current.c_str(), buffer, sizeof buffer - 1);
    if (n <= 0) return current;
    const std::string next(buffer, static_cast<size_t>(n));
    current = next[0] == '/' ? next : FolderOf(current) + "/" + next;
  }
  return current;
}

// stat() of the path through its links: the kind of file a write would reach.
bool RegularOrAbsent(const std::string& path, const std::string& shownPath, std::string& reason, bool& exists,
                     mode_t& mode) {
  struct stat info {};
  exists = false;
  if (::stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return true;   // a new file, or a link to one still to be made
    reason = SystemReason("Cannot write ", shownPath, errno);
    return false;
  }
  exists = true;
  mode = info.st_mode;
  if (!S_ISREG(info.st_mode)) {
    reason = shownPath + " is " + KindOf(info.st_mode) + ", not a regular file";
    return false;
  }
  return true;
}

}  // namespace

bool CheckOutputTarget(const std::string& path, std::string& reason) {
  if (path.empty()) {
    reason = "no file name";
    return false;
  }
  bool exists = false;
  mode_t mode = 0;
  if (!RegularOrAbsent(path, path, reason, exists, mode)) return false;
  // Overwriting it in place would fail: replacing it must fail as well.
  if (exists && ::access(path.c_str(), W_OK) != 0) {
    reason = SystemReason("Cannot write ", path, errno);
    return false;
  }
  return true;
}

OutputFile::~OutputFile() { Discard(); }

void OutputFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!staging_.empty()) ::unlink(staging_.c_str());
  staging_.clear();
}

bool OutputFile::Begin(const std::string& path, std::string& reason) {
  Discard();
  refused_ = false;
  path_ = path;
  // Checked before anything opens it: opening a FIFO to write would wait for a reader.
  if (!CheckOutputTarget(path, reason)) {
    refused_ = true;
    return false;
  }
  target_ = LinkTarget(path);
  const size_t slash = target_.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  const std::string stem = folder + "." + name + ".writing-" + std::to_string(::getpid()) + "-";
  int error = 0;
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    staging_ = stem + std::to_string(attempt);
    fd_ = ::open(staging_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    error = errno;
    if (fd_ < 0 && error != EEXIST) break;
  }
  if (fd_ < 0) {
    staging_.clear();
    reason = SystemReason("Cannot create ", path, error);
    return false;
  }
  // An existing file keeps its permissions, as it would when overwritten in place.
  struct stat info {};
  if (::stat(target_.c_str(), &info) == 0 && S_ISREG(info.st_mode)) ::fchmod(fd_, info.st_mode & 07777);
  return true;
}

bool OutputFile::Commit(const void* data, size_t size, std::string& reason) {
  if (fd_ < 0) {
    reason = path_ + ": not open for writing";
    return false;
  }
  const char* bytes = static_cast<const char*>(data);
  size_t done = 0;
  int error = 0;
  while (done < size && error == 0) {
    const ssize_t n = ::write(fd_, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno;
    else if (n == 0) error = ENOSPC;
    else done += static_cast<size_t>(n);
  }
  // On disk before the rename, so a crash leaves the old file or the whole new one.
  if (error == 0 && ::fsync(fd_) != 0) error = errno;
  if (::close(fd_) != 0 && error == 0) error = errno;
  fd_ = -1;
  if (error != 0) {
    reason = SystemReason("Cannot write ", path_, error);
    Discard();
    return false;
  }
  // Whatever took the target's place meanwhile is not replaced either.
  bool exists = false;
  mode_t mode = 0;
  if (!RegularOrAbsent(target_, path_, reason, exists, mode)) {
    Discard();
    return false;
  }
  if (::rename(staging_.c_str(), target_.c_str()) != 0) {
    reason = SystemReason("Cannot write ", path_, errno);
    Discard();
    return false;
  }
  staging_.clear();
  // The rename itself on disk; a folder that cannot be synced is no failure.
  const int folder = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return true;
}

bool WriteOutputFile(const std::string& path, const void* data, size_t size, std::string& reason) {
  OutputFile file;
  return file.Begin(path, reason) && file.Commit(data, size, reason);
}
