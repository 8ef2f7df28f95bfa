// The last-error record, the pending error and the error report.
#pragma once

#include <cstdint>
#include <string>

// Raises the pending error. The caller goes on to its own exit path.
void RaiseError(int32_t number, const std::string& source, const std::string& description);
bool ErrorPending();
// What the pending error's step tried and the device path or file it concerns;
// CaptureError turns them into the report's "Tried:" line and its advice.
// Call after RaiseError, which forgets the previous context.
void SetErrorContext(const std::string& tried, const std::string& subject);
// "COM1 (/dev/ttyUSB0)": the chosen port and its device.
std::string PortTried();
// The chosen port's device path, "" when unknown.
std::string PortSubject();

// LastErrorNumber 0, LastFunction, ErrorTitle and LastErrorText empty, no pending error.
void ClearError();
// Copies the pending error into the last-error record, with what was tried
// and the advice for it.
void CaptureError();

// Records that another operation holds the line (error 1514) and returns
// false: an operation refused its turn.
bool RefuseBusyLine(const std::string& source);

// Text of the programmer's own error codes 1..8; empty for other numbers.
std::string ProgrammerErrorText(int32_t number);

// The error report as it is shown: title and text lines joined by CR LF; below
// the record's four lines, after a blank line, "Tried: ..." and the advice.
std::string ErrorReportTitle();
std::string ErrorReportText();
// Shows the last-error record in a message box; returns the box's result.
int ShowErrorReport();
