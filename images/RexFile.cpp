#include "images/RexFile.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "devices/ImageState.h"
#include "images/HexRecord.h"
#include "images/RexScramble.h"
#include "link/CommDefs.h"
#include "link/ErrorRecord.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/ProgramFiles.h"
#include "state/views/MainWindowView.h"

namespace {

constexpr const char* Source = "Decode REX File";
constexpr const char* BadFormat = "Illegal File Format";
constexpr int StatusEveryRecords = 25;

void Status(const char* key, const std::string& text) {
  if (frmMain) frmMain->SetStatusPanel(key, text);
}

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

int HexValue(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

// Blanks after the digits are no part of the record.
std::string_view TrimEnd(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

void ShowCounts(int32_t records, int32_t bytes) {
  Status("ExtStatus1", "Records:" + std::to_string(records));
  Status("ExtStatus2", "Bytes:" + std::to_string(bytes));
}

}  // namespace

bool LoadRexFile(const std::string& fileName, uint8_t fill, uint32_t kindWord, const std::string& kindName,
                 int32_t size) {
  ImageBuffer.assign(static_cast<size_t>(std::max(size, 0)), fill);
  LastFunction = "Load REX File";
  ImageTop = 0;
  Err = ErrorObject{};
  const std::string path = ProgramFile("\\" + fileName);
  auto fail = [&](int32_t number, const std::string& description) {
    RaiseError(number, Source, description);
    SetErrorContext("reading " + path, path);
    CaptureError();
    // Nothing of a refused file stays behind for a caller to write.
    std::fill(ImageBuffer.begin(), ImageBuffer.end(), fill);
    ImageTop = 0;
    return false;
  };

  TextLineReader reader;
  std::string openError;
  if (!reader.Open(path, openError)) return fail(reader.OpenError(), openError);
  Status("Status", "Reading " + kindName + " REX File");

  const std::string_view first = TrimEnd(reader.ReadTextLine());
  if (first.size() < 3 || first[0] != 'R' || !IsHex(first[first.size() - 2]) || !IsHex(first.back())) {
    return fail(ErrFileFormat, BadFormat);
  }
  RexRandom random;
  random.Reset();
  random.Seed(HexValue(first[first.size() - 2]) * 16 + HexValue(first.back()));

  const std::string_view kind = TrimEnd(reader.ReadTextLine());
  if (kind.size() != 9 || kind[0] != ':' || !std::all_of(kind.begin() + 1, kind.end(), IsHex)) {
    return fail(ErrFileFormat, BadFormat);
  }
  uint32_t word = 0;
  for (char c : kind.substr(1)) word = word << 4 | static_cast<uint32_t>(HexValue(c));
  if (word != kindWord) return fail(ErrFileFormat, "File is not a " + kindName + " file.");

  int32_t records = 0, bytes = 0;
  for (;;) {
    const std::string_view line = TrimEnd(reader.ReadTextLine());
    // A file that stops before its end record has lost data: it is not loaded.
    if (line.empty()) return fail(ErrFileFormat, BadFormat);
    if (line[0] != ':') return fail(ErrFileFormat, BadFormat);
    std::string body(line.substr(1));
    if (body.size() < 10 || !XorRexDigits(body, random)) return fail(ErrFileFormat, BadFormat);
    std::vector<uint8_t> record(body.size() / 2);
    for (size_t i = 0; i < record.size(); ++i) {
      record[i] = static_cast<uint8_t>(HexValue(body[2 * i]) << 4 | HexValue(body[2 * i + 1]));
    }
    const int length = record[0];
    if (length == 0) break;
    if (record.size() != static_cast<size_t>(length) + 5) return fail(ErrFileFormat, BadFormat);
    uint8_t sum = 0;
    for (uint8_t b : record) sum = static_cast<uint8_t>(sum + b);
    if (sum != 0) return fail(ErrChecksum, "Checksum Error in Hex file");
    const int32_t address = record[1] << 8 | record[2];
    // Bounded by the buffer: a record past it would be written outside it.
    if (address + length > size) return fail(ErrAddressRange, "Address out of Range");
    std::copy(record.begin() + 4, record.begin() + 4 + length, ImageBuffer.begin() + address);
    bytes += length;
    ++records;
    ImageTop = std::max(ImageTop, address + length - 1);
    if (records % StatusEveryRecords == 0) ShowCounts(records, bytes);
  }
  ShowCounts(records, bytes);
  Status("Status", "Image Read");
  CaptureError();
  return true;
}
