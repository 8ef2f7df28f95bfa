#include "link/ErrorRecord.h"

#include "link/CommDefs.h"
#include "link/ErrorAdvice.h"
#include "link/LineState.h"
#include "platform/MessageBox.h"
#include "platform/NumberText.h"
#include "platform/SerialPort.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"

void RaiseError(int32_t number, const std::string& source, const std::string& description) {
  Err.Number = number;
  Err.Source = source;
  Err.Description = description;
  Err.Tried.clear();   // an earlier failure's context does not describe this one
  Err.Subject.clear();
}

void SetErrorContext(const std::string& tried, const std::string& subject) {
  Err.Tried = tried;
  Err.Subject = subject;
}

std::string PortTried() {
  if (!MSComm1) return "";
  const std::string path = MSComm1->PortPath();
  return "COM" + std::to_string(MSComm1->CommPort()) + (path.empty() ? " (no device)" : " (" + path + ")");
}

std::string PortSubject() { return MSComm1 ? MSComm1->PortPath() : std::string(); }

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
  LastErrorTried.clear();
  LastErrorAdvice.clear();
  Err = ErrorObject{};
}

void CaptureError() {
  LastErrorNumber = Err.Number;
  LastErrorText = Err.Description;
  LastErrorSource = Err.Source;
  if (LastErrorNumber >= 1 && LastErrorNumber <= 8) LastErrorText = ProgrammerErrorText(LastErrorNumber);
  LastErrorTried = Err.Tried;
  std::string subject = Err.Subject;
  // A failed exchange or a port that would not open names the port, whoever raised it.
  if (LastErrorTried.empty()) {
    switch (DefaultErrorPlace(LastErrorNumber, LastErrorSource)) {
      case ErrorPlace::Line:
        LastErrorTried = PortTried() + ", address " + std::to_string(CurrentAddress);
        subject = PortSubject();
        break;
      case ErrorPlace::PortOpening:
        LastErrorTried = "opening " + PortTried();
        subject = PortSubject();
        break;
      case ErrorPlace::None:
        break;
    }
  }
  LastErrorAdvice = ErrorAdvice(LastErrorNumber, LastErrorSource, subject);
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
  std::string text = "Function: " + LastFunction + "\r\n" +
                     "Error Code: " + Str(LastErrorNumber) + "\r\n" +
                     "Source: " + LastErrorSource + "\r\n" +
                     LastErrorText;
  // The record's own lines stay as they always were; the help sits below them.
  if (LastErrorTried.empty() && LastErrorAdvice.empty()) return text;
  text += "\r\n";
  if (!LastErrorTried.empty()) text += "\r\nTried: " + LastErrorTried;
  if (!LastErrorAdvice.empty()) text += "\r\n" + LastErrorAdvice;
  return text;
}

int ShowErrorReport() { return MessageBox->ErrorReport(ErrorReportText(), ErrorReportTitle()); }
