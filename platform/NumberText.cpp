#include "platform/NumberText.h"

#include <cmath>

std::string Str(int64_t value) {
  return value < 0 ? std::to_string(value) : " " + std::to_string(value);
}

int64_t RoundHalfEven(double value) {
  double whole = std::floor(value);
  double fraction = value - whole;
  if (fraction > 0.5) return static_cast<int64_t>(whole) + 1;
  if (fraction < 0.5) return static_cast<int64_t>(whole);
  auto w = static_cast<int64_t>(whole);
  return (w % 2 == 0) ? w : w + 1;
}
