#include "devices/HexRecord.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>

namespace {

struct HexDigitTable {
  std::array<int8_t, 256> value;
  HexDigitTable() {
    value.fill(-1);
    for (int c = '0'; c <= '9'; ++c) value[c] = static_cast<int8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) value[c] = static_cast<int8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c) value[c] = static_cast<int8_t>(c - 'a' + 10);
  }
};
const HexDigitTable Digits;

bool IsLineEnd(char c) { return c == '\r' || c == '\n' || c == '\0'; }

}  // namespace

bool TextLineReader::Open(const std::string& path, std::string& error) {
  text_.clear();
  pos_ = 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    error = "Cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  // One read into a string sized for the whole file: large HEX files are
  // read in a millisecond or two instead of growing a buffer piece by piece.
  struct stat info {};
  if (fstat(fileno(file), &info) == 0 && info.st_size > 0) text_.resize(static_cast<size_t>(info.st_size));
  size_t got = text_.empty() ? 0 : std::fread(text_.data(), 1, text_.size(), file);
  text_.resize(got);
  char buffer[1 << 16];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text_.append(buffer, n);   // grew meanwhile
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    error = "Cannot read " + path;
    return false;
  }
  return true;
}

std::string_view TextLineReader::ReadTextLine() {
  while (pos_ < text_.size() && IsLineEnd(text_[pos_])) ++pos_;
  const size_t start = pos_;
  while (pos_ < text_.size() && !IsLineEnd(text_[pos_])) ++pos_;
  return std::string_view(text_).substr(start, pos_ - start);
}

uint8_t HexLine::Byte(int index) const {
  const size_t at = 1 + 2 * static_cast<size_t>(index);
  const int high = at < text_.size() ? Digits.value[static_cast<uint8_t>(text_[at])] : -1;
  if (high < 0) return 0;
  const int low = at + 1 < text_.size() ? Digits.value[static_cast<uint8_t>(text_[at + 1])] : -1;
  return static_cast<uint8_t>(low < 0 ? high : high * 16 + low);
}

bool HexLine::ChecksumOk() const {
  const int count = Count();
  unsigned sum = 0;
  for (int i = 0; i < count + 5; ++i) sum += Byte(i);
  return (sum & 0xFF) == 0;
}
