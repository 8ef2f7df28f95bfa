// Message boxes for the command line: the title line, then the text lines, on
// standard error. Questions take the configured answer.
#pragma once

#include <cstdio>

#include "platform/MessageBox.h"

class ConsoleMessageBox : public MessageBoxes {
 public:
  explicit ConsoleMessageBox(std::FILE* out = stderr, int answerToQuestions = vbNo)
      : out_(out), answer_(answerToQuestions) {}
  int MsgBox(const std::string& text, int style, const std::string& title) override;

 private:
  std::FILE* out_;
  int answer_;
};
