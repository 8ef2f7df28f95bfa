#include "images/RexScramble.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t StateMask = 0xFFFFFF;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

const char HexDigits[] = "0123456789ABCDEF";

}  // namespace

double RexRandom::Next() {
  state_ = (state_ * 0xFD43FDu + 0xC39EC3u) & StateMask;
  return static_cast<double>(state_) / 16777216.0;
}

void RexRandom::Reset() {
  const uint32_t b = 0xBF800000u;
  state_ = (b + (b >> 24)) & StateMask;
  Next();
}

void RexRandom::Seed(double n) {
  uint64_t bits = 0;
  std::memcpy(&bits, &n, sizeof bits);
  const auto h = static_cast<uint32_t>(bits >> 32);
  state_ = (((h & 0xFFFFu) << 8) ^ ((h >> 8) & 0xFFFF00u)) | (state_ & 0xFF0000FFu);
}

uint8_t RexRandom::NextKey() { return static_cast<uint8_t>(static_cast<int>(Next() * 256.0)); }

bool XorRexDigits(std::string& body, RexRandom& random) {
  if (body.size() % 2 != 0) return false;
  for (size_t i = 0; i < body.size(); i += 2) {
    const int high = HexValue(body[i]);
    const int low = HexValue(body[i + 1]);
    if (high < 0 || low < 0) return false;
    const int value = (high << 4 | low) ^ random.NextKey();
    body[i] = HexDigits[value >> 4];
    body[i + 1] = HexDigits[value & 0x0F];
  }
  return true;
}

std::string WriteRexText(const std::vector<RexRecord>& records, uint32_t kindWord, uint8_t seed) {
  char line[16];
  std::snprintf(line, sizeof line, "REX %02X\r\n", seed);
  std::string text = line;
  std::snprintf(line, sizeof line, ":%08X\r\n", kindWord);
  text += line;
  RexRandom random;
  random.Reset();
  random.Seed(seed);
  auto put = [&](uint16_t address, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> bytes{static_cast<uint8_t>(data.size()), static_cast<uint8_t>(address >> 8),
                               static_cast<uint8_t>(address), 0};
    bytes.insert(bytes.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (uint8_t b : bytes) sum = static_cast<uint8_t>(sum + b);
    bytes.push_back(static_cast<uint8_t>(-sum));
    std::string body;
    for (uint8_t b : bytes) {
      body += HexDigits[b >> 4];
      body += HexDigits[b & 0x0F];
    }
    XorRexDigits(body, random);
    text += ":" + body + "\r\n";
  };
  for (const RexRecord& r : records) put(r.address, r.data);
  // The end record: type 1 as Intel HEX writes it.
  std::string end = "00000001FF";
  XorRexDigits(end, random);
  text += ":" + end + "\r\n";
  return text;
}
