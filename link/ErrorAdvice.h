// What to do about an error, in one sentence, for the person reading the
// error report.
#pragma once

#include <cstdint>
#include <string>

// The advice for an error number and source; subject is the device path or
// file the error concerns ("" when unknown). "" when there is nothing to say.
std::string ErrorAdvice(int32_t number, const std::string& source, const std::string& subject);

// Whether an error arose on the line to a programmer, so the report names the
// port, its device and the unit's address.
bool IsLineError(int32_t number, const std::string& source);
