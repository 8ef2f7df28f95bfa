// What file selection and project reading show in the Load Image dialog.
#pragma once

#include <string>

class LoadImageView {
 public:
  virtual ~LoadImageView() = default;
  virtual void SetImageName(const std::string& name) = 0;             // tbImageName
  virtual void SetProjectPath(const std::string& path) = 0;           // lblProjectPath
  virtual void SetFileLabel(int index, const std::string& path) = 0;  // lblFile(index)
};
