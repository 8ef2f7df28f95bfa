#include "images/HexRecord.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "images/BuildFile.h"
#include "images/InputFile.h"
#include "link/CommDefs.h"
#include "link/ErrorRecord.h"

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
  path_ = path;
  pos_ = 0;
  lineNumber_ = 0;
  lineEnds_ = 0;
  places_.clear();
  placeUnit_ = "line";
  std::string reason;
  openError_ = ReadInputFile(path, text_, reason);
  if (openError_ == 0) return true;
  error = (openError_ == ErrFileNotFound ? "Cannot open " : "Cannot read ") + path + ": " + reason;
  return false;
}

bool TextLineReader::OpenBuildFile(const std::string& name, std::string& error) {
  const BuildFileName file = SplitBuildFileName(name);
  if (!Open(file.path, error)) return false;
  BuildFileKind kind = BuildFileKind::IntelHex;
  BuildRecords records;
  BuildFileError refused;
  const bool ok = TranslateBuildFile(file, text_, kind, records, refused);
  placeUnit_ = PlaceUnitOf(kind);
  if (!ok) {
    text_.clear();
    openError_ = refused.number;
    error = refused.description;
    // The place of the refusal, for NoteFilePlace.
    if (refused.place >= 0) {
      places_ = {refused.place};
      lineNumber_ = 1;
    }
    return false;
  }
  if (kind != BuildFileKind::IntelHex) {
    text_ = std::move(records.Text());
    places_ = std::move(records.Places());
  }
  return true;
}

std::string TextLineReader::Place() const {
  if (places_.empty() || lineNumber_ <= 0) return "line " + std::to_string(lineNumber_);
  const int place = places_[std::min(static_cast<size_t>(lineNumber_ - 1), places_.size() - 1)];
  if (std::string_view(placeUnit_) != "offset") return placeUnit_ + (" " + std::to_string(place));
  char text[24];
  std::snprintf(text, sizeof text, "offset 0x%X", static_cast<unsigned>(place));
  return text;
}

std::string_view TextLineReader::ReadTextLine() {
  // CR LF ends one line; CR, LF and NUL alone each end one.
  while (pos_ < text_.size() && IsLineEnd(text_[pos_])) {
    const bool crLf = text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n';
    pos_ += crLf ? 2 : 1;
    ++lineEnds_;
  }
  const size_t start = pos_;
  while (pos_ < text_.size() && !IsLineEnd(text_[pos_])) ++pos_;
  if (start == pos_) {
    // The end: the line after the last, which may lack its line end.
    const bool unended = !text_.empty() && !IsLineEnd(text_.back());
    lineNumber_ = lineEnds_ + (unended ? 2 : 1);
    return {};
  }
  lineNumber_ = lineEnds_ + 1;
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

std::string RecordPlace(const TextLineReader& file) {
  return file.Path() + ", " + file.Place();
}

void NoteFilePlace(const TextLineReader& file) {
  SetErrorContext("reading " + (file.LineNumber() > 0 ? RecordPlace(file) : file.Path()), file.Path());
}
