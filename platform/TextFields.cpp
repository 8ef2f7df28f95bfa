#include "platform/TextFields.h"

#include "platform/InputFile.h"

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }
}  // namespace

bool TextFieldReader::OpenFile(const std::string& path, std::string& error) {
  pos_ = 0;
  fieldStart_ = countedTo_ = 0;
  lines_ = 1;
  openError_ = ReadInputFile(path, text_, error);
  if (openError_ != 0) return false;
  // Editors that save UTF-8 may put a byte-order mark first; it is no part of the first field.
  if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) text_.erase(0, 3);
  return true;
}

void TextFieldReader::SkipBlankLines() {
  // Only at the start of a line: skip lines that hold nothing but blanks.
  while (pos_ < text_.size()) {
    size_t p = pos_;
    while (p < text_.size() && IsBlank(text_[p])) ++p;
    if (p < text_.size() && IsLineEnd(text_[p])) {
      pos_ = p + 1;
    } else if (p >= text_.size()) {
      pos_ = p;
    } else {
      return;
    }
  }
}

bool TextFieldReader::AtEnd() {
  if (pos_ == 0 || IsLineEnd(text_[pos_ - 1])) SkipBlankLines();
  return pos_ >= text_.size();
}

bool TextFieldReader::ReadField(std::string& field) {
  if (AtEnd()) return false;
  field.clear();
  while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  fieldStart_ = pos_;

  if (pos_ < text_.size() && text_[pos_] == '"') {
    const size_t close = text_.find('"', pos_ + 1);
    const size_t end = close == std::string::npos ? text_.size() : close;
    field = text_.substr(pos_ + 1, end - pos_ - 1);
    pos_ = close == std::string::npos ? text_.size() : close + 1;
    // Whatever follows the closing quote up to the separator is not part of the field.
    while (pos_ < text_.size() && text_[pos_] != ',' && !IsLineEnd(text_[pos_])) ++pos_;
  } else {
    const size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] != ',' && !IsLineEnd(text_[pos_])) ++pos_;
    size_t end = pos_;
    while (end > start && IsBlank(text_[end - 1])) --end;
    field = text_.substr(start, end - start);
  }

  // Consume the separator: a comma, or a line end (CR LF counts as one).
  fieldEndedLine_ = pos_ >= text_.size() || text_[pos_] != ',';
  if (pos_ < text_.size()) {
    if (text_[pos_] == ',') {
      ++pos_;
    } else if (text_[pos_] == '\r') {
      ++pos_;
      if (pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
    } else if (text_[pos_] == '\n') {
      ++pos_;
    }
  }
  return true;
}

bool TextFieldReader::ReadLineFields(std::vector<std::string>& fields) {
  fields.clear();
  std::string field;
  while (ReadField(field)) {
    fields.push_back(field);
    if (fieldEndedLine_) break;
  }
  return !fields.empty();
}

int TextFieldReader::LineNumber() {
  // Counted on from where the last call stopped: CR LF, CR or LF end a line.
  for (; countedTo_ < fieldStart_ && countedTo_ < text_.size(); ++countedTo_) {
    const char c = text_[countedTo_];
    if (c == '\n' || (c == '\r' && (countedTo_ + 1 >= text_.size() || text_[countedTo_ + 1] != '\n'))) ++lines_;
  }
  return lines_;
}
