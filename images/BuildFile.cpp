#include "images/BuildFile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "images/ElfFile.h"
#include "images/SRecord.h"
#include "link/CommDefs.h"
#include "platform/InputFile.h"

namespace {

constexpr int BytesPerRecord = 32;

bool IsLineEnd(char c) { return c == '\r' || c == '\n' || c == '\0'; }

// The first line as the line reader would give it.
std::string_view FirstLine(std::string_view content) {
  size_t start = 0;
  while (start < content.size() && IsLineEnd(content[start])) ++start;
  size_t end = start;
  while (end < content.size() && !IsLineEnd(content[end])) ++end;
  return content.substr(start, end - start);
}

bool AllHexAfter(std::string_view line, size_t from) {
  if (line.size() <= from) return false;
  for (size_t i = from; i < line.size(); ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(line[i]))) return false;
  }
  return true;
}

std::string KindName(BuildFileKind kind) {
  switch (kind) {
    case BuildFileKind::IntelHex: return "an Intel HEX file";
    case BuildFileKind::SRecord: return "an S-record file";
    case BuildFileKind::Elf: return "an ELF file";
    case BuildFileKind::Binary: break;
  }
  return "a binary file";
}

}  // namespace

// Raw data may start with any byte: with an address, only a plainly
// different kind is not binary.
BuildFileKind BuildFileKindOf(std::string_view content, bool addressGiven) {
  if (IsElfContent(content)) return BuildFileKind::Elf;
  const std::string_view line = FirstLine(content);
  if (IsSRecordLine(line) && (!addressGiven || AllHexAfter(line, 2))) return BuildFileKind::SRecord;
  if (!line.empty() && line[0] == ':' && (!addressGiven || AllHexAfter(line, 1))) return BuildFileKind::IntelHex;
  return BuildFileKind::Binary;
}

namespace {

bool EndsWithBin(const std::string& path) {
  if (path.size() < 4) return false;
  std::string tail = path.substr(path.size() - 4);
  std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
  return tail == ".bin";
}

}  // namespace

bool ParseLoadAddress(const std::string& text, uint32_t& address) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const size_t from = hex ? 2 : 0;
  if (text.size() <= from || text.size() - from > (hex ? 8u : 10u)) return false;
  uint64_t value = 0;
  for (size_t i = from; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (hex ? !std::isxdigit(c) : !std::isdigit(c)) return false;
    const int digit = std::isdigit(c) ? c - '0' : std::tolower(c) - 'a' + 10;
    value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
  }
  if (value > UINT32_MAX) return false;
  address = static_cast<uint32_t>(value);
  return true;
}

BuildFileName SplitBuildFileName(const std::string& name) {
  BuildFileName split;
  split.path = name;
  const size_t at = name.rfind('@');
  if (at == std::string::npos || at == 0) return split;
  uint32_t address = 0;
  if (!ParseLoadAddress(name.substr(at + 1), address)) return split;
  split.path = name.substr(0, at);
  split.hasAddress = true;
  split.address = address;
  return split;
}

std::string BuildFileNameWithAddress(const std::string& path, uint32_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "@0x%08X", address);
  return path + text;
}

bool LooksLikeBinaryFile(const std::string& path, std::string_view content) {
  if (BuildFileKindOf(content, false) != BuildFileKind::Binary) return false;
  if (EndsWithBin(path)) return true;
  // Control characters other than the line ends and tabs do not occur in text.
  const std::string_view head = content.substr(0, 4096);
  return std::any_of(head.begin(), head.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return (b < 0x20 && b != '\t' && b != '\r' && b != '\n' && b != '\0') || b == 0x7F;
  });
}

bool BuildFileNeedsAddress(const std::string& path) {
  std::string content, reason;
  if (ReadInputFile(path, content, reason) != 0) return false;
  return LooksLikeBinaryFile(path, content);
}

void BuildRecords::Line(int count, uint16_t offset, int type, const uint8_t* data, int place) {
  static const char Digits[] = "0123456789ABCDEF";
  unsigned sum = static_cast<unsigned>(count) + (offset >> 8) + (offset & 0xFF) + static_cast<unsigned>(type);
  auto put = [this](unsigned value) {
    text_ += Digits[(value >> 4) & 0xF];
    text_ += Digits[value & 0xF];
  };
  text_ += ':';
  put(static_cast<unsigned>(count));
  put(offset >> 8);
  put(offset & 0xFF);
  put(static_cast<unsigned>(type));
  for (int k = 0; k < count; ++k) {
    put(data[k]);
    sum += data[k];
  }
  put((0x100 - (sum & 0xFF)) & 0xFF);
  text_ += "\r\n";
  places_.push_back(place);
}

void BuildRecords::Add(uint32_t address, const uint8_t* data, size_t count, int place) {
  uint64_t at = address;
  while (count > 0) {
    // An extended linear address record only where the upper half changes:
    // the family loaders read a section record of 0 as a section.
    const auto upper = static_cast<uint32_t>(at >> 16);
    if (upper != upper_) {
      const uint8_t value[2] = {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)};
      Line(2, 0, 0x04, value, place);
      upper_ = upper;
    }
    // A record never runs over the end of its 64 KiB section.
    const size_t room = 0x10000 - static_cast<size_t>(at & 0xFFFF);
    const size_t n = std::min({count, static_cast<size_t>(BytesPerRecord), room});
    Line(static_cast<int>(n), static_cast<uint16_t>(at & 0xFFFF), 0x00, data, place);
    at += n;
    data += n;
    count -= n;
    dataBytes_ += n;
  }
}

void BuildRecords::End(int place) { Line(0, 0, 0x01, nullptr, place); }

const char* PlaceUnitOf(BuildFileKind kind) {
  switch (kind) {
    case BuildFileKind::Elf: return "segment";
    case BuildFileKind::Binary: return "offset";
    default: return "line";
  }
}

bool TranslateBuildFile(const BuildFileName& name, std::string_view content, BuildFileKind& kind,
                        BuildRecords& records, BuildFileError& error) {
  kind = BuildFileKindOf(content, name.hasAddress);
  auto fail = [&error](int32_t number, const std::string& description) {
    error.number = number;
    error.description = description;
    error.place = -1;
    return false;
  };
  if (name.hasAddress && kind != BuildFileKind::Binary) {
    return fail(ErrFileFormat, "Load Address Given for a File That Is Not Binary: " + name.path + " is " +
                                   KindName(kind) + ", which brings its own addresses");
  }
  switch (kind) {
    case BuildFileKind::IntelHex:
      return true;
    case BuildFileKind::SRecord:
      return ReadSRecordFile(name.path, content, records, error);
    case BuildFileKind::Elf:
      return ReadElfFile(name.path, content, records, error);
    case BuildFileKind::Binary:
      break;
  }
  if (!name.hasAddress) {
    // Content of no kind meets the HEX reader's own errors, unless it is
    // plainly binary.
    if (!LooksLikeBinaryFile(name.path, content)) {
      kind = BuildFileKind::IntelHex;
      return true;
    }
    return fail(ErrFileFormat, "Binary File Without a Load Address: " + name.path + " (name it as " + name.path +
                                   "@ADDRESS, for example " + BuildFileNameWithAddress(name.path, 0x08000000) + ")");
  }
  if (content.empty()) return fail(ErrFileFormat, "No Data in Binary File: " + name.path);
  if (uint64_t{name.address} + content.size() > uint64_t{1} << 32) {
    return fail(ErrAddressRange, "Address Out of Range in Binary File: " + name.path);
  }
  const auto* data = reinterpret_cast<const uint8_t*>(content.data());
  for (size_t offset = 0; offset < content.size(); offset += BytesPerRecord) {
    const size_t n = std::min<size_t>(BytesPerRecord, content.size() - offset);
    records.Add(static_cast<uint32_t>(name.address + offset), data + offset, n, static_cast<int>(offset));
  }
  records.End(static_cast<int>(content.size()));
  return true;
}
