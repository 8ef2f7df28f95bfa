// Lines of Intel HEX files as the loaders read them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The lines of a file read whole: CR, LF and NUL all end a line, and empty
// lines are skipped.
class TextLineReader {
 public:
  // False when the file cannot be read; error then names the file and the
  // reason, and OpenError() holds the error number.
  bool Open(const std::string& path, std::string& error);
  int32_t OpenError() const { return openError_; }
  // A build file of any kind (images/BuildFile.h): S-record, ELF and binary
  // files are read as the Intel HEX records of their data. False as for
  // Open, and when the file is refused; the error then names its place.
  bool OpenBuildFile(const std::string& name, std::string& error);
  // Where the line last read came from: "line 12", or for a file read as
  // records, the line, segment or offset of its data.
  std::string Place() const;
  const std::string& Path() const { return path_; }
  // The next non-empty line; empty at the end of the file.
  std::string_view ReadTextLine();
  // The number in the file of the line last read, counting empty lines; at
  // the end of the file, the line after the last.
  int LineNumber() const { return lineNumber_; }

 private:
  std::string path_;
  std::string text_;
  size_t pos_ = 0;
  int lineNumber_ = 0;
  int lineEnds_ = 0;
  int32_t openError_ = 0;
  std::vector<int> places_;       // per line, for a file read as records
  const char* placeUnit_ = "line";
};

// One record line, read leniently: byte i after the colon is the pair of
// characters at 1 + 2i; a pair that is not hexadecimal reads as its leading
// hexadecimal digit (0 when there is none), and characters missing at the end
// of a short line read as 0.
class HexLine {
 public:
  explicit HexLine(std::string_view text) : text_(text) {}
  bool StartsWithColon() const { return !text_.empty() && text_[0] == ':'; }
  uint8_t Byte(int index) const;
  int Count() const { return Byte(0); }
  int32_t Offset() const { return Byte(1) << 8 | Byte(2); }
  int Type() const { return Byte(3); }
  uint8_t Data(int k) const { return Byte(4 + k); }
  // Exactly as many characters as the byte count calls for (blanks at the
  // end of the line aside): a shorter line would read its missing bytes as 0.
  bool LengthMatches() const;
  // Nothing but hexadecimal digits after the colon (blanks at the end aside).
  bool AllHexDigits() const;
  // The sum of every byte after the colon, checksum included, is 0 in its low 8 bits.
  bool ChecksumOk() const;

 private:
  size_t TextEnd() const;
  std::string_view text_;
};

// Where a record is, for error texts: "<file>, line <n>".
std::string RecordPlace(const TextLineReader& file);
// Gives the pending error the file and line it arose at, for the error report.
void NoteFilePlace(const TextLineReader& file);

// Record types.
constexpr int HexData = 0x00;
constexpr int HexEndOfFile = 0x01;
constexpr int HexSegmentAddress = 0x02;
constexpr int HexStartSegment = 0x03;
constexpr int HexLinearAddress = 0x04;
constexpr int HexStartLinear = 0x05;
