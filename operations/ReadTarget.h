// Reading a target device on one port of the selected programmer into one of
// its own slots: the data never passes through the PC.
#pragma once

#include <cstdint>
#include <string>

// What the Read Image dialog shows of a read under way.
class ReadImageView {
 public:
  virtual ~ReadImageView() = default;
  // lblPortStatus: caption and colours as 0xBBGGRR values.
  virtual void SetPortStatus(const std::string& caption, int64_t backColor, int64_t foreColor) = 0;
  // StatusPic: picture file k of "\Sts1.bmp".."\Sts4.bmp", or hidden with 0.
  virtual void ShowStatusPicture(const std::string& file) = 0;
  virtual void HideStatusPicture() = 0;
};

// Reads the target on ReadPort into slot ImageNumber for the current device.
bool ReadTargetDeviceImage();

// Ticks between two status reads of a device read.
constexpr int ReadPollTicks = 6;
