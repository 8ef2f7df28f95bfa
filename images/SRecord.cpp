#include "images/SRecord.h"

#include <array>
#include <cstdint>
#include <vector>

#include "link/CommDefs.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsLineEnd(char c) { return c == '\r' || c == '\n' || c == '\0'; }

// Lines as the HEX reader takes them: CR LF ends one line, CR, LF and NUL
// alone each end one, empty lines are skipped but counted.
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}
  std::string_view Next() {
    while (pos_ < text_.size() && IsLineEnd(text_[pos_])) {
      const bool crLf = text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n';
      pos_ += crLf ? 2 : 1;
      ++lineEnds_;
    }
    const size_t start = pos_;
    while (pos_ < text_.size() && !IsLineEnd(text_[pos_])) ++pos_;
    if (start == pos_) {
      const bool unended = !text_.empty() && !IsLineEnd(text_.back());
      number_ = lineEnds_ + (unended ? 2 : 1);
      return {};
    }
    number_ = lineEnds_ + 1;
    return text_.substr(start, pos_ - start);
  }
  int Number() const { return number_; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  int lineEnds_ = 0;
  int number_ = 0;
};

// Address bytes of each record type; 0 for a type that does not exist.
constexpr std::array<int, 10> AddressBytes = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

}  // namespace

bool IsSRecordLine(std::string_view line) {
  return line.size() >= 2 && line[0] == 'S' && line[1] >= '0' && line[1] <= '9';
}

bool ReadSRecordFile(const std::string& path, std::string_view text, BuildRecords& records, BuildFileError& error) {
  Lines lines(text);
  auto fail = [&](int32_t number, const std::string& description) {
    error.number = number;
    error.description = description + ": " + path + ", line " + std::to_string(lines.Number());
    error.place = lines.Number();
    return false;
  };
  uint32_t dataRecords = 0;
  std::vector<uint8_t> bytes;
  for (;;) {
    std::string_view line = lines.Next();
    if (line.empty()) return fail(ErrFileFormat, "Unexpected End of File");
    // Blanks at the end of a line are not part of the record.
    while (line.size() > 2 && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    if (!IsSRecordLine(line)) return fail(ErrFileFormat, "Illegal File Format");
    for (size_t i = 2; i < line.size(); ++i) {
      if (HexDigit(line[i]) < 0) return fail(ErrFileFormat, "Illegal Character in S-Record");
    }
    // Byte count, then the address, data and checksum it counts.
    if (line.size() < 4 || line.size() % 2 != 0) return fail(ErrFileFormat, "Record Length Does Not Match Its Line");
    bytes.clear();
    for (size_t i = 2; i < line.size(); i += 2) {
      bytes.push_back(static_cast<uint8_t>(HexDigit(line[i]) * 16 + HexDigit(line[i + 1])));
    }
    const size_t count = bytes[0];
    if (count + 1 != bytes.size()) return fail(ErrFileFormat, "Record Length Does Not Match Its Line");
    unsigned sum = 0;
    for (uint8_t b : bytes) sum += b;
    if ((sum & 0xFF) != 0xFF) return fail(ErrChecksum, "Checksum Error in S-Record File");
    const int type = line[1] - '0';
    const int addressBytes = AddressBytes[static_cast<size_t>(type)];
    if (addressBytes == 0) {
      return fail(ErrFileFormat, "Unexpected Record Type in S-Record File: S" + std::to_string(type));
    }
    if (static_cast<int>(count) < addressBytes + 1) {
      return fail(ErrFileFormat, "Record Too Short for Its Address in S-Record File");
    }
    uint32_t address = 0;
    for (int i = 0; i < addressBytes; ++i) address = address << 8 | bytes[1 + static_cast<size_t>(i)];
    const size_t dataStart = 1 + static_cast<size_t>(addressBytes);
    const size_t dataCount = count - static_cast<size_t>(addressBytes) - 1;
    switch (type) {
      case 0:   // header
        break;
      case 1:
      case 2:
      case 3:
        if (dataCount > 0 && uint64_t{address} + dataCount > uint64_t{1} << 32) {
          return fail(ErrAddressRange, "Address Out of Range in S-Record File");
        }
        ++dataRecords;
        records.Add(address, bytes.data() + dataStart, dataCount, lines.Number());
        break;
      case 5:
      case 6:
        if (dataCount != 0) return fail(ErrFileFormat, "Record Length Does Not Match Its Type in S-Record File");
        if (address != dataRecords) {
          return fail(ErrFileFormat, "Record Count Error in S-Record File (" + std::to_string(address) +
                                         " counted, " + std::to_string(dataRecords) + " read)");
        }
        break;
      default:   // 7, 8, 9: the end; lines after it are not read, as after a HEX end record
        // A file that holds nothing would leave a blank image that replaces a good one.
        if (records.DataBytes() == 0) return fail(ErrFileFormat, "No Data in S-Record File");
        records.End(lines.Number());
        return true;
    }
  }
}
