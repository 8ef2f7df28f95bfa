// Files the program writes: each is a regular file, complete or untouched.
// The text goes to a new file beside the target that is renamed over it only
// when written, flushed and closed without error; a target that is there but
// is no regular file (a FIFO, a device, a folder, a socket, or a link to one)
// is refused before anything is opened or written.
#pragma once

#include <cstddef>
#include <string>

// True when `path` may be replaced by a regular file: it is not there, or it
// is a writable regular file (through links). False with a reason that names
// it: "PATH is a FIFO, not a regular file", or "Cannot write PATH: " and the
// system's text. Every reason below is such a sentence.
bool CheckOutputTarget(const std::string& path, std::string& reason);

// A staged replacement of one output file. Begin checks the target and
// creates the new file beside it; Commit writes, flushes and renames it over
// the target. Dropped uncommitted, the new file is removed.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool Begin(const std::string& path, std::string& reason);
  bool Commit(const void* data, size_t size, std::string& reason);
  bool Commit(const std::string& text, std::string& reason) { return Commit(text.data(), text.size(), reason); }
  bool Begun() const { return fd_ >= 0; }
  // After a failed Begin: the target itself was refused, nothing was created.
  bool Refused() const { return refused_; }

 private:
  void Discard();
  std::string path_;      // the target as named
  std::string target_;    // the file renamed over: a link's target is replaced, not the link
  std::string staging_;
  int fd_ = -1;
  bool refused_ = false;
};

// Begin and Commit at once; the reason names the path.
bool WriteOutputFile(const std::string& path, const void* data, size_t size, std::string& reason);
inline bool WriteOutputFile(const std::string& path, const std::string& text, std::string& reason) {
  return WriteOutputFile(path, text.data(), text.size(), reason);
}
