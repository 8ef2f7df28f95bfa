// Comma-separated text fields, as the device, revisions and project files
// hold them: a field ends at a comma or at the end of a line; a field in
// double quotes may contain commas; an unquoted field loses its leading and
// trailing blanks. Blank lines hold no fields.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TextFieldReader {
 public:
  TextFieldReader() = default;
  explicit TextFieldReader(std::string text) : text_(std::move(text)) {}

  // Reads a whole file; false when it cannot be read (error holds the
  // reason, OpenError() the error number).
  bool OpenFile(const std::string& path, std::string& error);
  int32_t OpenError() const { return openError_; }

  // The next field; false at the end of the input.
  bool ReadField(std::string& field);
  // True when no field is left.
  bool AtEnd();
  // The line (1-based) on which the field read last starts.
  int LineNumber();
  // All fields of the next line that holds any; false at the end of the input.
  bool ReadLineFields(std::vector<std::string>& fields);

 private:
  void SkipBlankLines();
  std::string text_;
  size_t pos_ = 0;
  bool fieldEndedLine_ = false;
  size_t fieldStart_ = 0;
  size_t countedTo_ = 0;   // line ends before here are counted in lines_
  int lines_ = 1;
  int32_t openError_ = 0;
};
