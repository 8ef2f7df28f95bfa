#include "link/ErrorAdvice.h"

#include <climits>
#include <cstring>

#include "link/CommDefs.h"

namespace {

// What the advice calls its subject; a missing one reads naturally too.
enum class Subject { None, Port, File };

struct AdviceRow {
  int32_t low, high;
  const char* source;   // nullptr: any source
  Subject subject;
  ErrorPlace place;     // what was tried, unless the raiser said
  const char* advice;   // "{}" stands for the subject
};

constexpr const char* PortAdvice =
    "Check that {} exists, that no other program holds it and that your user may open it (on Linux, "
    "membership of the dialout group).";

constexpr const char* LineFaultAdvice =
    "The programmer's reply was damaged on the line: check the cable to {} and that no other program is using "
    "that port, then try again.";

// First matching row wins: single numbers before the ranges that hold them.
constexpr AdviceRow AdviceTable[] = {
    {ErrNoResponse, ErrNoResponse, nullptr, Subject::Port, ErrorPlace::Line,
     "Check that the programmer is powered, set to this address and connected to {}."},
    {ErrWrongAddress, ErrWrongAddress, nullptr, Subject::Port, ErrorPlace::Line,
     "Check that no two programmers on {} share an address, then scan again."},
    {ErrWrongResponseId, ErrWrongResponseId, nullptr, Subject::Port, ErrorPlace::Line,
     "Check the cable to {} and that no other program is using that port, then try again."},
    {ErrNoProgrammers, ErrNoProgrammers, nullptr, Subject::Port, ErrorPlace::None,
     "Check that the programmer is powered and connected to {}."},
    {ErrLineBusy, ErrLineBusy, nullptr, Subject::None, ErrorPlace::None,
     "Wait until the operation under way has finished, then try again."},
    {ErrDialogCancelled, ErrDialogCancelled, nullptr, Subject::None, ErrorPlace::None, ""},
    // The port's own numbers: whatever the system said, the fix is on the PC.
    {1, INT32_MAX, "Scan for Programmers", Subject::Port, ErrorPlace::PortOpening, PortAdvice},
    {1, INT32_MAX, "Open Communications Port", Subject::Port, ErrorPlace::PortOpening, PortAdvice},
    // Unlock Flash takes no parameter and every firmware knows it: any status
    // but a flash fault or a busy unit is a reply damaged on the line.
    {1, 2, "Unlock Flash", Subject::Port, ErrorPlace::Line, LineFaultAdvice},
    {4, 4, "Unlock Flash", Subject::Port, ErrorPlace::Line, LineFaultAdvice},
    {6, 255, "Unlock Flash", Subject::Port, ErrorPlace::Line, LineFaultAdvice},
    {1, 2, nullptr, Subject::None, ErrorPlace::Line,
     "Upgrade the programmer's firmware to the revision this program expects, then try again."},
    {3, 3, nullptr, Subject::None, ErrorPlace::Line,
     "Try again; if the flash write keeps failing, the programmer needs service."},
    {4, 4, nullptr, Subject::None, ErrorPlace::Line,
     "Upgrade the programmer's firmware to the revision this program expects, then try again."},
    {5, 5, nullptr, Subject::None, ErrorPlace::Line, "Wait until the programmer has finished its run, then try again."},
    {6, 6, nullptr, Subject::None, ErrorPlace::Line, "Choose an image slot that this programmer has."},
    {7, 7, nullptr, Subject::None, ErrorPlace::Line, "Load an image into this slot before using it."},
    {8, 8, nullptr, Subject::None, ErrorPlace::Line, "Load the image into this slot again: the stored copy is damaged."},
    {ErrFlashStatusBase, ErrFlashStatusBase + 255, nullptr, Subject::None, ErrorPlace::Line,
     "Try again; if the programmer keeps refusing its flash, switch it off and on."},
    {ErrReadVerify, ErrReadVerify, nullptr, Subject::None, ErrorPlace::Line,
     "Load the image again; if the read-back keeps differing, the programmer needs service."},
    {ErrFileNotFound, ErrFileNotFound, nullptr, Subject::File, ErrorPlace::None,
     "Check that {} exists and choose it again."},
    {ErrFileAccess, ErrFileAccess, nullptr, Subject::File, ErrorPlace::None,
     "Check that {} is a file your user may read."},
    {ErrInputPastEnd, ErrInputPastEnd, nullptr, Subject::File, ErrorPlace::None,
     "Check that {} is complete, or write it again."},
    // Conversion of build files: both loaders, the general one and the family ones.
    {ErrFileFormat, ErrFileFormat, "Convert Hex File", Subject::File, ErrorPlace::None,
     "Check that {} is a complete build file (Intel HEX, S-record, ELF, or binary with its load address), or export it again from the build."},
    {ErrFileFormat, ErrFileFormat, "Read Hex File", Subject::File, ErrorPlace::None,
     "Check that {} is a complete build file for the selected device (Intel HEX, S-record, ELF, or binary with its load address), or export it again from the build."},
    {ErrChecksum, ErrChecksum, "Convert Hex File", Subject::File, ErrorPlace::None,
     "Export {} again from the build: a line of it is damaged."},
    {ErrChecksum, ErrChecksum, "Read Hex File", Subject::File, ErrorPlace::None,
     "Export {} again from the build: a line of it is damaged."},
    {ErrAddressRange, ErrAddressRange, nullptr, Subject::File, ErrorPlace::None,
     "Check that {} was built for the selected device."},
    {ErrImageRange, ErrImageRange, nullptr, Subject::File, ErrorPlace::None,
     "Check that {} was built for the selected device."},
    {ErrFileFormat, ErrFileFormat, nullptr, Subject::File, ErrorPlace::None,
     "Check that {} is the right kind of file and complete, or write it again."},
    // The programmer's own files (hardware configuration, vector tables).
    {1506, 1506, nullptr, Subject::File, ErrorPlace::None,
     "Check that {} is the hardware configuration file delivered for this programmer, or install it again."},
    {1511, 1513, nullptr, Subject::File, ErrorPlace::None,
     "Check that {} is the vector table delivered for this programmer, or install it again."},
    {ErrDeviceRead, ErrDeviceRead, nullptr, Subject::None, ErrorPlace::Line,
     "Check that the target is seated in its port and powered, then read it again."},
};

const AdviceRow* Find(int32_t number, const std::string& source) {
  if (number == 0) return nullptr;
  for (const AdviceRow& row : AdviceTable) {
    if (number < row.low || number > row.high) continue;
    if (row.source && source != row.source) continue;
    return &row;
  }
  return nullptr;
}

}  // namespace

std::string ErrorAdvice(int32_t number, const std::string& source, const std::string& subject) {
  const AdviceRow* row = Find(number, source);
  if (!row) return "";
  std::string text = row->advice;
  const size_t at = text.find("{}");
  if (at == std::string::npos) return text;
  std::string named = subject;
  if (named.empty()) named = row->subject == Subject::File ? "the file" : "the selected serial port";
  return text.replace(at, 2, named);
}

ErrorPlace DefaultErrorPlace(int32_t number, const std::string& source) {
  const AdviceRow* row = Find(number, source);
  return row ? row->place : ErrorPlace::None;
}
