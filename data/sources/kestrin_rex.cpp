// kestrin-rex: turns an Intel HEX file into a delivered programmer file.
//   kestrin-rex --kind firmware|hwc [--seed HH] IN.hex OUT.rex   scrambled REX file
//   kestrin-rex --kind binary IN.hex OUT.bin                      raw vector table
// REX files carry the kind word of firmware or of hardware configuration
// tables and are scrambled as Kestrin reads them (images/RexScramble.h).
// Without --seed the seed comes from the output's file name, so a build
// writes the same files every time.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "KestrinVersion.h"
#include "images/RexScramble.h"

namespace {

int Usage(const char* message) {
  std::fprintf(stderr,
               "kestrin-rex: %s\n"
               "Usage: kestrin-rex --kind firmware|hwc|binary [--seed HH] IN.hex OUT\n"
               "  firmware, hwc  write a scrambled REX file with the kind's word\n"
               "  binary         write the bytes from address 0 to the last one set (gaps 0xFF)\n",
               message);
  return 2;
}

int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Data records (type 0) up to the end record (type 1); REX addresses are 16 bits.
bool ReadHex(const std::string& path, std::map<uint32_t, uint8_t>& bytes, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path;
    return false;
  }
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty()) continue;
    const std::string where = path + ", line " + std::to_string(number);
    if (line[0] != ':' || line.size() < 11 || line.size() % 2 != 1) {
      error = where + ": not an Intel HEX record";
      return false;
    }
    std::vector<uint8_t> record;
    for (size_t i = 1; i < line.size(); i += 2) {
      const int high = Hex(line[i]), low = Hex(line[i + 1]);
      if (high < 0 || low < 0) {
        error = where + ": not hexadecimal";
        return false;
      }
      record.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    uint8_t sum = 0;
    for (uint8_t b : record) sum = static_cast<uint8_t>(sum + b);
    if (record.size() != record[0] + 5u || sum != 0) {
      error = where + ": bad length or checksum";
      return false;
    }
    if (record[3] == 1) return true;
    if (record[3] != 0) {
      error = where + ": only data and end records belong in these files";
      return false;
    }
    const uint32_t address = static_cast<uint32_t>(record[1] << 8 | record[2]);
    for (int i = 0; i < record[0]; ++i) bytes[address + static_cast<uint32_t>(i)] = record[4 + i];
  }
  error = path + ": no end record";
  return false;
}

uint8_t SeedFromName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  unsigned sum = 0;
  for (char c : path.substr(slash == std::string::npos ? 0 : slash + 1)) sum = sum * 31 + static_cast<uint8_t>(c);
  return static_cast<uint8_t>(sum);
}

// Runs of consecutive bytes, at most 16 a record.
std::vector<RexRecord> Records(const std::map<uint32_t, uint8_t>& bytes) {
  std::vector<RexRecord> records;
  for (const auto& [address, value] : bytes) {
    if (records.empty() || records.back().data.size() == 16 ||
        records.back().address + records.back().data.size() != address) {
      records.push_back(RexRecord{static_cast<uint16_t>(address), {}});
    }
    records.back().data.push_back(value);
  }
  return records;
}

}  // namespace

int main(int argc, char** argv) {
  std::string kind, in, out;
  int seed = -1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--version") {
      std::printf("kestrin-rex %s\n", KESTRIN_VERSION);
      return 0;
    }
    if (arg == "--kind" && i + 1 < argc) {
      kind = argv[++i];
    } else if (arg == "--seed" && i + 1 < argc) {
      char* end = nullptr;
      seed = static_cast<int>(std::strtol(argv[++i], &end, 16));
      if (*end != '\0' || seed < 0 || seed > 255) return Usage("--seed takes two hexadecimal digits");
    } else if (in.empty()) {
      in = arg;
    } else if (out.empty()) {
      out = arg;
    } else {
      return Usage(("unexpected " + arg).c_str());
    }
  }
  if (in.empty() || out.empty()) return Usage("needs IN.hex and OUT");
  if (kind != "firmware" && kind != "hwc" && kind != "binary") return Usage("--kind is firmware, hwc or binary");

  std::map<uint32_t, uint8_t> bytes;
  std::string error;
  if (!ReadHex(in, bytes, error)) {
    std::fprintf(stderr, "kestrin-rex: %s\n", error.c_str());
    return 1;
  }
  if (bytes.empty() || bytes.rbegin()->first > 0xFFFF) {
    std::fprintf(stderr, "kestrin-rex: %s: no data, or data above 0xFFFF\n", in.c_str());
    return 1;
  }
  std::string text;
  if (kind == "binary") {
    std::vector<uint8_t> image(bytes.rbegin()->first + 1, 0xFF);
    for (const auto& [address, value] : bytes) image[address] = value;
    text.assign(image.begin(), image.end());
  } else {
    const uint32_t word = kind == "firmware" ? RexKindFirmware : RexKindHardwareConfiguration;
    text = WriteRexText(Records(bytes), word, static_cast<uint8_t>(seed >= 0 ? seed : SeedFromName(out)));
  }
  std::ofstream file(out, std::ios::binary | std::ios::trunc);
  file.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!file) {
    std::fprintf(stderr, "kestrin-rex: cannot write %s\n", out.c_str());
    return 1;
  }
  return 0;
}
