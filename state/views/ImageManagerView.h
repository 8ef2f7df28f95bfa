// What programmer selection shows in the image manager window: the
// programmer's picture and labels, and the grid fgImages (kept in the program
// state) once it has been filled.
#pragma once

#include <string>

class ImageManagerView {
 public:
  virtual ~ImageManagerView() = default;
  virtual void SetProgrammerPicture(const std::string& key) = 0;
  // lblAddress, lblProgType and lblFWRev, all made visible.
  virtual void SetProgrammerLabels(const std::string& address, const std::string& progType,
                                   const std::string& fwRevision) = 0;
  // fgImages has new content.
  virtual void GridChanged() = 0;
};
