// Any bytes as a build file that is not Intel HEX: an ELF file, an S-record
// file, or (first byte odd) a binary file named with a load address. The
// reader must refuse with one of the loaders' error numbers or give Intel
// HEX records that are well formed, one place per line, and carry no more
// data than the file holds.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "images/BuildFile.h"
#include "link/CommDefs.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "build_file_fuzz: %s\n", what);
    std::abort();
  }
}

int Digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Every line a whole record with a good checksum; returns the data bytes.
size_t CheckedRecords(const std::string& text, size_t places) {
  size_t lines = 0, data = 0, at = 0;
  bool ended = false;
  while (at < text.size()) {
    const size_t end = text.find("\r\n", at);
    Check(end != std::string::npos, "a record line without its line end");
    const std::string_view line(text.data() + at, end - at);
    at = end + 2;
    ++lines;
    Check(!ended, "a record after the end record");
    Check(line.size() >= 11 && line[0] == ':' && line.size() % 2 == 1, "a record of the wrong shape");
    unsigned sum = 0;
    for (size_t i = 1; i < line.size(); i += 2) {
      const int high = Digit(line[i]), low = Digit(line[i + 1]);
      Check(high >= 0 && low >= 0, "a record with a character that is no hex digit");
      sum += static_cast<unsigned>(high * 16 + low);
    }
    Check((sum & 0xFF) == 0, "a record with a bad checksum");
    const size_t count = static_cast<size_t>(Digit(line[1]) * 16 + Digit(line[2]));
    Check(line.size() == 11 + 2 * count, "a record whose count does not match its line");
    const int type = Digit(line[7]) * 16 + Digit(line[8]);
    Check(type == 0 || type == 1 || type == 4, "a record of an unexpected type");
    if (type == 0) data += count;
    if (type == 1) ended = true;
  }
  Check(ended, "records without their end record");
  Check(lines == places, "not one place per record line");
  return data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size == 0) return 0;
  BuildFileName name;
  name.path = "input.elf";
  if (bytes[0] & 1) {
    name.path = "input.bin";
    name.hasAddress = true;
    name.address = static_cast<uint32_t>(bytes[0]) << 24;
  }
  const std::string_view content(reinterpret_cast<const char*>(bytes) + 1, size - 1);
  BuildFileKind kind = BuildFileKind::IntelHex;
  BuildRecords records;
  BuildFileError error;
  if (!TranslateBuildFile(name, content, kind, records, error)) {
    Check(error.number == ErrFileFormat || error.number == ErrAddressRange || error.number == ErrChecksum,
          "a refusal with an unexpected error number");
    Check(error.description.find(name.path) != std::string::npos, "a refusal that does not name the file");
    return 0;
  }
  if (kind == BuildFileKind::IntelHex) return 0;   // left to the HEX loaders and their fuzzers
  const size_t data = CheckedRecords(records.Text(), records.Places().size());
  Check(data == records.DataBytes(), "data bytes miscounted");
  Check(data <= content.size(), "more data than the file holds");
  return 0;
}
