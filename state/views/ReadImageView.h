// What the Read Image dialog shows of a target read under way.
#pragma once

#include <cstdint>
#include <string>

class ReadImageView {
 public:
  virtual ~ReadImageView() = default;
  // lblPortStatus: caption and colours as 0xBBGGRR values.
  virtual void SetPortStatus(const std::string& caption, int64_t backColor, int64_t foreColor) = 0;
  // StatusPic: picture file k of "\Sts1.bmp".."\Sts4.bmp", or hidden with 0.
  virtual void ShowStatusPicture(const std::string& file) = 0;
  virtual void HideStatusPicture() = 0;
};
