#include "link/ErrorRecord.h"

#include "link/CommDefs.h"
#include "platform/MessageBox.h"
#include "platform/NumberText.h"
#include "state/PublicVars.h"

void RaiseError(int32_t number, const std::string& source, const std::string& description) {
  Err.Number = number;
  Err.Source = source;
  Err.Description = description;
}

bool RefuseBusyLine(const std::string& source) {
  RaiseError(ErrLineBusy, source, LineBusyText);
  CaptureError();
  return false;
}

bool ErrorPending() { return Err.Number != 0; }

void ClearError() {
  LastErrorNumber = 0;
  LastFunction.clear();
  ErrorTitle.clear();
  LastErrorText.clear();
  Err = ErrorObject{};
}

void CaptureError() {
  LastErrorNumber = Err.Number;
  LastErrorText = Err.Description;
  LastErrorSource = Err.Source;
  if (LastErrorNumber >= 1 && LastErrorNumber <= 8) LastErrorText = ProgrammerErrorText(LastErrorNumber);
}

std::string ProgrammerErrorText(int32_t number) {
  switch (number) {
    case 1: return "Missing Parameter";
    case 2: return "Bad Parameter";
    case 3: return "Flash Write Error";
    case 4: return "Bad Command";
    case 5: return "Programmer Busy";
    case 6: return "Invalid Image Selection";
    case 7: return "Selected Image is Empty";
    case 8: return "Crc Fail - Image is Corrupted";
    default: return "";
  }
}

std::string ErrorReportTitle() { return "Kestrin - " + ErrorTitle; }

std::string ErrorReportText() {
  return "Function: " + LastFunction + "\r\n" +
         "Error Code: " + Str(LastErrorNumber) + "\r\n" +
         "Source: " + LastErrorSource + "\r\n" +
         LastErrorText;
}

int ShowErrorReport() {
  return MessageBox->MsgBox(ErrorReportText(), vbOKOnly, ErrorReportTitle());
}
