#include "automation/DdeSocket.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

std::string SystemText(int error) { return std::strerror(error); }

}  // namespace

bool PrivateFolder(const std::string& path, uid_t uid, std::string& error) {
  struct stat info {};
  // lstat: a link planted in a shared folder must not lead elsewhere.
  if (::lstat(path.c_str(), &info) != 0) {
    error = "cannot inspect the folder " + path + ": " + SystemText(errno);
    return false;
  }
  if (S_ISLNK(info.st_mode)) {
    error = "the folder " + path + " is a symbolic link";
    return false;
  }
  if (!S_ISDIR(info.st_mode)) {
    error = path + " is not a folder";
    return false;
  }
  if (info.st_uid != uid) {
    error = "the folder " + path + " belongs to another user";
    return false;
  }
  if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    error = "the folder " + path + " is open to other users";
    return false;
  }
  return true;
}

std::string DdeSocketPath(const std::string& name, std::string& error) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
    error = "the automation name \"" + name + "\" is not usable as a file name";
    return "";
  }
  const uid_t uid = ::getuid();
  std::string unused;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
    if (PrivateFolder(runtime, uid, unused)) return std::string(runtime) + "/" + name;
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = tmp && *tmp == '/' ? tmp : "/tmp";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  folder += "/kestrin-" + std::to_string(uid);
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    error = "cannot create the folder " + folder + ": " + SystemText(errno);
    return "";
  }
  if (!PrivateFolder(folder, uid, error)) return "";
  return folder + "/" + name;
}

bool PeerIsUser(int fd, uid_t uid, std::string& error) {
  struct ucred peer {};
  socklen_t size = sizeof peer;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || size != sizeof peer) {
    error = "cannot tell who serves the socket: " + SystemText(errno);
    return false;
  }
  if (peer.uid != uid) {
    error = "the socket is served by user id " + std::to_string(peer.uid) + ", not by this user (" +
            std::to_string(uid) + ")";
    return false;
  }
  return true;
}
