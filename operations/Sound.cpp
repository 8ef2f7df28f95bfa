#include "operations/Sound.h"

#include "platform/SoundPlayer.h"
#include "state/Bindings.h"
#include "state/ProgramFiles.h"

void PlayFailSound() {
  if (Sound) Sound->PlayAsync(ProgramFile("\\fail.wav"));
}
