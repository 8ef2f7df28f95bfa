#include "platform/NumberText.h"

#include <cctype>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <cstdlib>

std::string Str(int64_t value) {
  return value < 0 ? std::to_string(value) : " " + std::to_string(value);
}

int64_t RoundHalfEven(double value) {
  // Beyond what 64 bits hold, the nearest end will do.
  if (std::isnan(value)) return 0;
  if (value >= 9.2e18) return INT64_MAX;
  if (value <= -9.2e18) return INT64_MIN;
  double whole = std::floor(value);
  double fraction = value - whole;
  if (fraction > 0.5) return static_cast<int64_t>(whole) + 1;
  if (fraction < 0.5) return static_cast<int64_t>(whole);
  auto w = static_cast<int64_t>(whole);
  return (w % 2 == 0) ? w : w + 1;
}

double Val(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i + 1 < text.size() && text[i] == '&' && (text[i + 1] == 'H' || text[i + 1] == 'h')) {
    double value = 0;
    for (i += 2; i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])); ++i) {
      const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
      value = value * 16 + (c <= '9' ? c - '0' : c - 'A' + 10);
    }
    return value;
  }
  // The longest prefix of the form [sign] digits [. digits] [e [sign] digits].
  const size_t start = i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
  }
  if (digits == 0) return 0;
  size_t end = i;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) {
      while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
      end = j;
    }
  }
  const double value = std::strtod(text.substr(start, end - start).c_str(), nullptr);
  return value;   // may be infinite: callers check their ranges
}

double ValWithin(const std::string& text, double low, double high) {
  const double value = Val(text);
  if (std::isnan(value)) return 0;
  return value < low ? low : value > high ? high : value;
}

std::string CStr(double value) {
  if (value == std::floor(value) && std::fabs(value) < 1e15) return std::to_string(static_cast<int64_t>(value));
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

std::string FormatFixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}
