// Lines of Intel HEX files as the loaders read them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The lines of a file: CR, LF and NUL all end a line, and empty lines are
// skipped. The file is read in blocks into one small buffer, not whole: a
// large file then costs no fresh memory per megabyte.
class TextLineReader {
 public:
  TextLineReader() = default;
  ~TextLineReader();
  TextLineReader(const TextLineReader&) = delete;
  TextLineReader& operator=(const TextLineReader&) = delete;

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
  // The next non-empty line, valid until the next call; empty at the end of
  // the file, and when the file could not be read to its end (ReadFailed()).
  std::string_view ReadTextLine();
  // The number in the file of the line last read, counting empty lines; at
  // the end of the file, the line after the last.
  int LineNumber() const { return lineNumber_; }
  // Reading stopped before the end of the file: error number and message as
  // Open gives them.
  bool ReadFailed() const { return readError_ != 0; }
  int32_t ReadError() const { return readError_; }
  const std::string& ReadErrorText() const { return readErrorText_; }

 private:
  bool More();
  void Close();
  // Serves the lines of text held in memory, as a file read to its end.
  void UseText(std::string text);
  std::string path_;
  int fd_ = -1;
  std::unique_ptr<char[]> buffer_;
  size_t capacity_ = 0;
  size_t pos_ = 0;          // the unread text is buffer_[pos_, end_)
  size_t end_ = 0;
  int64_t total_ = 0;       // bytes read so far
  bool atEnd_ = false;
  char last_ = '\n';        // the file's last byte read so far
  int lineNumber_ = 0;
  int lineEnds_ = 0;
  int32_t openError_ = 0;
  std::vector<int> places_;       // per line, for a file read as records
  const char* placeUnit_ = "line";
  int32_t readError_ = 0;
  std::string readErrorText_;
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

  // The strict checks and the bytes in one pass over the line (which starts
  // with the colon): AllHexDigits, then LengthMatches; when both hold, the
  // record's bytes (count, offset, type, data, checksum) and their sum.
  enum class Check { Ok, IllegalCharacter, LengthMismatch };
  struct Record {
    uint8_t bytes[5 + 255];
    unsigned sum;   // of every byte, checksum included
    int Count() const { return bytes[0]; }
    int32_t Offset() const { return bytes[1] << 8 | bytes[2]; }
    int Type() const { return bytes[3]; }
    const uint8_t* Data() const { return bytes + 4; }
    bool ChecksumOk() const { return (sum & 0xFF) == 0; }
    // The sum of the data bytes alone.
    unsigned DataSum() const { return sum - bytes[0] - bytes[1] - bytes[2] - bytes[3] - bytes[4 + bytes[0]]; }
  };
  Check Decode(Record& record) const;

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
