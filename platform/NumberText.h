// Number-to-text and text-to-number conversions of the program's runtime.
#pragma once

#include <cstdint>
#include <string>

// The plain number-to-text form: one blank before a non-negative number, a
// minus sign before a negative one (Str(2) is " 2").
std::string Str(int64_t value);

// Rounds to a whole number, halves to the even neighbour.
int64_t RoundHalfEven(double value);
