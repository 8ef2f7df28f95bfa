// The pseudo-terminal that stands for the serial line, and the link that
// gives its device a fixed path.
#pragma once

#include <string>

namespace vrxsim {

struct Pty {
  int master = -1;
  int slave = -1;  // held open so the PC closing and reopening never hangs up the line
  std::string slavePath;
};

// Opens a pty with a raw slave at 115200 and a non-blocking master.
// Throws std::runtime_error.
Pty OpenPty();
void ClosePty(Pty& pty);

// The speed the PC set on the line, in bit/s (0 when not a known rate).
// On Linux the master reports the slave's settings.
int LineBaud(int masterFd);

// Points `link` at `target`, replacing an existing link. Throws
// std::runtime_error, also when `link` is something other than a link.
void PlaceLink(const std::string& target, const std::string& link);
// Removes `link` when it still points at `target`.
void RemoveLink(const std::string& link, const std::string& target);

}  // namespace vrxsim
