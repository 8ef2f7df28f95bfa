#include "shell/RevisionInfo.h"

#include "platform/TextFields.h"

std::string RevisionInfoText(const std::string& path) {
  TextFieldReader reader;
  std::string error;
  if (!reader.OpenFile(path, error)) return "";
  std::string text;
  std::string field;
  while (reader.ReadField(field)) {
    if (field.rfind("***", 0) != 0) text += '\t';
    text += field + "\r\n";
  }
  return text;
}
