#include "sim/Pty.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace vrxsim {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

Pty OpenPty() {
  Pty pty;
  pty.master = posix_openpt(O_RDWR | O_NOCTTY);
  if (pty.master < 0) Fail("posix_openpt");
  char name[256];
  if (grantpt(pty.master) != 0 || unlockpt(pty.master) != 0 || ptsname_r(pty.master, name, sizeof name) != 0) {
    ClosePty(pty);
    Fail("cannot set up the pseudo-terminal");
  }
  pty.slavePath = name;
  pty.slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (pty.slave < 0) {
    ClosePty(pty);
    Fail("cannot open " + pty.slavePath);
  }
  termios t{};
  if (tcgetattr(pty.slave, &t) != 0) Fail("tcgetattr");
  cfmakeraw(&t);
  cfsetispeed(&t, B115200);
  cfsetospeed(&t, B115200);
  if (tcsetattr(pty.slave, TCSANOW, &t) != 0) Fail("tcsetattr");
  int flags = fcntl(pty.master, F_GETFL);
  fcntl(pty.master, F_SETFL, flags | O_NONBLOCK);
  fcntl(pty.master, F_SETFD, FD_CLOEXEC);
  return pty;
}

void ClosePty(Pty& pty) {
  if (pty.slave >= 0) close(pty.slave);
  if (pty.master >= 0) close(pty.master);
  pty.slave = pty.master = -1;
}

int LineBaud(int masterFd) {
  termios t{};
  if (tcgetattr(masterFd, &t) != 0) return 0;
  switch (cfgetospeed(&t)) {
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    default: return 0;
  }
}

void PlaceLink(const std::string& target, const std::string& link) {
  struct stat st {};
  if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
    errno = EEXIST;
    Fail(link + " exists and is not a link");
  }
  // Made aside and renamed over, so the path is never missing or half made.
  std::string temp = link + ".vrx-sim-" + std::to_string(getpid());
  unlink(temp.c_str());
  if (symlink(target.c_str(), temp.c_str()) != 0) Fail("cannot create link " + temp);
  if (rename(temp.c_str(), link.c_str()) != 0) {
    int saved = errno;
    unlink(temp.c_str());
    errno = saved;
    Fail("cannot place link " + link);
  }
}

void RemoveLink(const std::string& link, const std::string& target) {
  char buf[4096];
  ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
  if (n < 0) return;
  buf[n] = '\0';
  if (target == buf) unlink(link.c_str());
}

}  // namespace vrxsim
