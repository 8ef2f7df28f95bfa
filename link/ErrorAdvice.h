// What to do about an error, in one sentence, for the person reading the
// error report.
#pragma once

#include <cstdint>
#include <string>

// The advice for an error number and source; subject is the device path or
// file the error concerns ("" when unknown). "" when there is nothing to say.
std::string ErrorAdvice(int32_t number, const std::string& source, const std::string& subject);

// What the report says was tried when the step that failed did not say:
// the line to a programmer (port, device and the unit's address), or the
// opening of the port.
enum class ErrorPlace { None, Line, PortOpening };
ErrorPlace DefaultErrorPlace(int32_t number, const std::string& source);
