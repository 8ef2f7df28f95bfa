// Message boxes: a title, a text whose lines end in CR LF, an icon and buttons.
#pragma once

#include <string>

enum MsgBoxStyle : int {
  vbOKOnly = 0,
  vbYesNo = 4,
  vbCritical = 16,
  vbQuestion = 32,
  vbExclamation = 48,
  vbInformation = 64,
  vbDefaultButton2 = 256,   // No is the default answer of a Yes/No box
};

enum MsgBoxResult : int { vbOK = 1, vbYes = 6, vbNo = 7 };

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // An empty title means the program's default title.
  virtual int MsgBox(const std::string& text, int style, const std::string& title) = 0;
  // The error report: an OK box that a windowing platform marks as an error.
  virtual int ErrorReport(const std::string& text, const std::string& title) { return MsgBox(text, vbOKOnly, title); }
};
