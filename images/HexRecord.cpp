#include "images/HexRecord.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <unistd.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "images/BuildFile.h"
#include "link/CommDefs.h"
#include "link/ErrorRecord.h"
#include "platform/InputFile.h"

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

// The reader's buffer: a few thousand lines a block.
constexpr size_t BlockBytes = size_t{1} << 17;

}  // namespace

TextLineReader::~TextLineReader() { Close(); }

void TextLineReader::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool TextLineReader::Open(const std::string& path, std::string& error) {
  Close();
  path_ = path;
  pos_ = end_ = 0;
  total_ = 0;
  atEnd_ = false;
  last_ = '\n';
  lineNumber_ = 0;
  lineEnds_ = 0;
  readError_ = 0;
  readErrorText_.clear();
  places_.clear();
  placeUnit_ = "line";
  std::string reason;
  int64_t size = 0;
  openError_ = OpenInputFile(path, fd_, size, reason);
  if (openError_ == 0) {
    if (!buffer_) {
      capacity_ = BlockBytes;
      buffer_.reset(new char[capacity_]);
    }
    // The first block now, so a file that cannot be read fails here as before.
    More();
    if (readError_ == 0) return true;
    openError_ = readError_;
    error = readErrorText_;
    readError_ = 0;
    readErrorText_.clear();
    return false;
  }
  error = (openError_ == ErrFileNotFound ? "Cannot open " : "Cannot read ") + path + ": " + reason;
  return false;
}

bool TextLineReader::OpenBuildFile(const std::string& name, std::string& error) {
  const BuildFileName file = SplitBuildFileName(name);
  if (!Open(file.path, error)) return false;
  // An Intel HEX file shows itself in its first block and is read as it
  // stands, block by block; the other kinds are read whole and translated.
  if (!file.hasAddress && BuildFileKindOf(std::string_view(buffer_.get(), end_), false) == BuildFileKind::IntelHex) {
    return true;
  }
  Close();
  std::string content, reason;
  openError_ = ReadInputFile(file.path, content, reason);
  if (openError_ != 0) {
    error = (openError_ == ErrFileNotFound ? "Cannot open " : "Cannot read ") + file.path + ": " + reason;
    UseText({});
    return false;
  }
  BuildFileKind kind = BuildFileKind::IntelHex;
  BuildRecords records;
  BuildFileError refused;
  const bool ok = TranslateBuildFile(file, content, kind, records, refused);
  placeUnit_ = PlaceUnitOf(kind);
  if (!ok) {
    UseText({});
    openError_ = refused.number;
    error = refused.description;
    // The place of the refusal, for NoteFilePlace.
    if (refused.place >= 0) {
      places_ = {refused.place};
      lineNumber_ = 1;
    }
    return false;
  }
  if (kind == BuildFileKind::IntelHex) {
    UseText(std::move(content));
  } else {
    UseText(std::move(records.Text()));
    places_ = std::move(records.Places());
  }
  return true;
}

void TextLineReader::UseText(std::string text) {
  Close();
  capacity_ = std::max<size_t>(text.size(), 1);
  buffer_.reset(new char[capacity_]);
  std::memcpy(buffer_.get(), text.data(), text.size());
  pos_ = 0;
  end_ = text.size();
  total_ = static_cast<int64_t>(text.size());
  last_ = text.empty() ? '\n' : text.back();
  atEnd_ = true;
}

std::string TextLineReader::Place() const {
  if (places_.empty() || lineNumber_ <= 0) return "line " + std::to_string(lineNumber_);
  const int place = places_[std::min(static_cast<size_t>(lineNumber_ - 1), places_.size() - 1)];
  if (std::string_view(placeUnit_) != "offset") return placeUnit_ + (" " + std::to_string(place));
  char text[24];
  std::snprintf(text, sizeof text, "offset 0x%X", static_cast<unsigned>(place));
  return text;
}

bool TextLineReader::More() {
  if (atEnd_ || fd_ < 0) return false;
  // The unread part moves to the front; a line longer than the buffer grows it.
  const size_t kept = end_ - pos_;
  if (pos_ > 0 && kept > 0) std::memmove(buffer_.get(), buffer_.get() + pos_, kept);
  pos_ = 0;
  end_ = kept;
  if (end_ == capacity_) {
    std::unique_ptr<char[]> larger(new char[capacity_ * 2]);
    std::memcpy(larger.get(), buffer_.get(), end_);
    buffer_ = std::move(larger);
    capacity_ *= 2;
  }
  for (;;) {
    const ssize_t n = ::read(fd_, buffer_.get() + end_, capacity_ - end_);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      readError_ = ErrFileAccess;
      readErrorText_ = "Cannot read " + path_ + ": " + std::strerror(errno);
    } else if (n > 0) {
      total_ += n;
      end_ += static_cast<size_t>(n);
      last_ = buffer_[end_ - 1];
      // A file that grows while it is read is still held to the bound.
      if (total_ <= MaxInputFileBytes) return true;
      readError_ = ErrFileFormat;
      readErrorText_ = "Cannot read " + path_ + ": " + InputTooLarge(total_);
    }
    break;
  }
  atEnd_ = true;
  Close();
  if (readError_ != 0) pos_ = end_ = 0;   // nothing of a file that failed is read on
  return false;
}

namespace {

// The first CR, LF or NUL of text[0, size), or size.
size_t FindLineEnd(const char* text, size_t size) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), nul = _mm_setzero_si128();
  for (; i + 16 <= size; i += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    const __m128i ends =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, cr), _mm_cmpeq_epi8(block, lf)), _mm_cmpeq_epi8(block, nul));
    if (const int mask = _mm_movemask_epi8(ends)) return i + static_cast<size_t>(__builtin_ctz(mask));
  }
#endif
  while (i < size && !IsLineEnd(text[i])) ++i;
  return i;
}

}  // namespace

std::string_view TextLineReader::ReadTextLine() {
  // CR LF ends one line; CR, LF and NUL alone each end one.
  for (;;) {
    if (pos_ == end_ && !More()) {
      // The end: the line after the last, which may lack its line end.
      lineNumber_ = lineEnds_ + (total_ > 0 && !IsLineEnd(last_) ? 2 : 1);
      return {};
    }
    const char c = buffer_[pos_];
    if (!IsLineEnd(c)) break;
    if (c == '\r' && pos_ + 1 == end_) More();   // its LF may be in the next block
    if (pos_ == end_) continue;                   // the file failed meanwhile
    const bool crLf = c == '\r' && pos_ + 1 < end_ && buffer_[pos_ + 1] == '\n';
    pos_ += crLf ? 2 : 1;
    ++lineEnds_;
  }
  // The line runs to the next line end; a line that reaches the end of the
  // buffer is completed from the next block.
  size_t scanned = 0;   // characters of the line known not to end it
  size_t length = 0;
  for (;;) {
    length = scanned + FindLineEnd(buffer_.get() + pos_ + scanned, end_ - pos_ - scanned);
    if (pos_ + length < end_) break;
    scanned = length;
    if (!More()) {
      if (ReadFailed()) {
        lineNumber_ = lineEnds_ + 1;
        return {};
      }
      length = end_ - pos_;   // the last line, without a line end
      break;
    }
  }
  const std::string_view line(buffer_.get() + pos_, length);
  pos_ += length;
  lineNumber_ = lineEnds_ + 1;
  return line;
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

size_t HexLine::TextEnd() const {
  size_t end = text_.size();
  while (end > 1 && (text_[end - 1] == ' ' || text_[end - 1] == '\t')) --end;
  return end;
}

bool HexLine::LengthMatches() const { return TextEnd() == 1 + 2 * (static_cast<size_t>(Count()) + 5); }

bool HexLine::AllHexDigits() const {
  const size_t end = TextEnd();
  for (size_t i = 1; i < end; ++i) {
    if (Digits.value[static_cast<uint8_t>(text_[i])] < 0) return false;
  }
  return true;
}

HexLine::Check HexLine::Decode(Record& record) const {
  const char* const text = text_.data() + 1;
  const size_t size = text_.size() - 1;
  // Pairs of digits as far as they go: the whole record on a good line.
  constexpr size_t MostBytes = sizeof record.bytes;
  unsigned sum = 0;
  size_t at = 0, bytes = 0;
#if defined(__SSE2__)
  // Sixteen characters at a time while they are all digits; the loop below
  // goes on from where a block holds anything else.
  {
    const __m128i zero = _mm_setzero_si128();
    __m128i sums = zero;
    for (; at + 16 <= size && bytes + 8 <= MostBytes; at += 16, bytes += 8) {
      const __m128i text16 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
      const __m128i digit = _mm_sub_epi8(text16, _mm_set1_epi8('0'));
      const __m128i letter = _mm_sub_epi8(_mm_or_si128(text16, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
      const __m128i isDigit = _mm_cmpeq_epi8(_mm_min_epu8(digit, _mm_set1_epi8(9)), digit);
      const __m128i isLetter = _mm_cmpeq_epi8(_mm_min_epu8(letter, _mm_set1_epi8(5)), letter);
      if (_mm_movemask_epi8(_mm_or_si128(isDigit, isLetter)) != 0xFFFF) break;
      const __m128i value =
          _mm_or_si128(_mm_and_si128(isDigit, digit), _mm_andnot_si128(isDigit, _mm_add_epi8(letter, _mm_set1_epi8(10))));
      // Each pair of characters is one 16-bit lane: first digit low, second high.
      const __m128i pairs = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(value, _mm_set1_epi16(0x00FF)), 4),
                                         _mm_srli_epi16(value, 8));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(record.bytes + bytes), _mm_packus_epi16(pairs, pairs));
      sums = _mm_add_epi64(sums, _mm_sad_epu8(pairs, zero));
    }
    sum = static_cast<unsigned>(_mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
  }
#endif
  for (; at + 1 < size && bytes < MostBytes; at += 2, ++bytes) {
    const int high = Digits.value[static_cast<uint8_t>(text[at])];
    const int low = Digits.value[static_cast<uint8_t>(text[at + 1])];
    if ((high | low) < 0) break;
    const unsigned value = static_cast<unsigned>(high << 4 | low);
    record.bytes[bytes] = static_cast<uint8_t>(value);
    sum += value;
  }
  // The rest must be digits up to the blanks that may end the line.
  size_t end = size;
  while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  for (size_t i = at; i < end; ++i) {
    if (Digits.value[static_cast<uint8_t>(text[i])] < 0) return Check::IllegalCharacter;
  }
  // All digits: the pairs read were the line's first bytes, so Count() is the first.
  if (bytes == 0 || end != 2 * (static_cast<size_t>(record.bytes[0]) + 5)) return Check::LengthMismatch;
  record.sum = sum;
  return Check::Ok;
}

std::string RecordPlace(const TextLineReader& file) {
  return file.Path() + ", " + file.Place();
}

void NoteFilePlace(const TextLineReader& file) {
  SetErrorContext("reading " + (file.LineNumber() > 0 ? RecordPlace(file) : file.Path()), file.Path());
}
