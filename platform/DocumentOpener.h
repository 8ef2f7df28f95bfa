// Opens a document (a PDF) with the system's default viewer.
#pragma once

#include <string>

class DocumentOpener {
 public:
  virtual ~DocumentOpener() = default;
  // False when nothing could open it: the file is missing or no viewer takes it.
  virtual bool Open(const std::string& path) = 0;
};
