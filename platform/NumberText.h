// Number-to-text and text-to-number conversions of the program's runtime.
#pragma once

#include <cstdint>
#include <string>

// The plain number-to-text form: one blank before a non-negative number, a
// minus sign before a negative one (Str(2) is " 2").
std::string Str(int64_t value);

// Rounds to a whole number, halves to the even neighbour (saturating at the ends of 64 bits).
int64_t RoundHalfEven(double value);

// Lenient text-to-number: leading blanks skipped, the longest prefix that reads
// as a decimal number taken (sign, digits, point, exponent); "&H" marks
// hexadecimal; nothing readable gives 0.
double Val(const std::string& text);

// Val kept within [low, high], so it converts safely to a narrower type.
double ValWithin(const std::string& text, double low, double high);

// The default number-to-text form without the leading blank: whole numbers
// without a point, others with as many digits as they need (3.686).
std::string CStr(double value);

// Fixed decimals: FormatFixed(3.3, 2) is "3.30".
std::string FormatFixed(double value, int decimals);
