// Plays a wave file without waiting for it; no sound at all when the file is
// missing or there is no audio device.
#pragma once

#include <string>

class SoundPlayer {
 public:
  virtual ~SoundPlayer() = default;
  virtual void PlayAsync(const std::string& waveFile) = 0;
};
