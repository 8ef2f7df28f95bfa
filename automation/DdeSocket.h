// Where the automation socket lives and who may be at its other end. Both the
// server and the kestrin-dde client use these, so they agree on the path.
#pragma once

#include <sys/types.h>

#include <string>

// The full path of the automation socket NAME: in $XDG_RUNTIME_DIR when that
// is a private folder of the user, otherwise in <tmp>/kestrin-<uid>, created
// with mode 0700 when missing. "" with the reason in error when the name is
// unusable or no private folder can be had.
std::string DdeSocketPath(const std::string& name, std::string& error);

// Whether path is a folder (not a link) owned by uid that no one else may
// enter, read or write; the reason in error when it is not.
bool PrivateFolder(const std::string& path, uid_t uid, std::string& error);

// Whether the process at the other end of the connected local socket fd runs
// as uid; the reason in error when it does not or cannot be told.
bool PeerIsUser(int fd, uid_t uid, std::string& error);
