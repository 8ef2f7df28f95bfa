#include "platform/ConsoleMessageBox.h"

int ConsoleMessageBox::MsgBox(const std::string& text, int style, const std::string& title) {
  std::string lines = (title.empty() ? std::string("Kestrin") : title) + "\n";
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    lines += text[i] == '\r' ? '\n' : text[i];
  }
  lines += '\n';
  std::fputs(lines.c_str(), out_);
  std::fflush(out_);
  return (style & 0x7) == vbYesNo ? answer_ : vbOK;
}
