#include "operations/Sound.h"

#include "devices/ProgramFiles.h"
#include "platform/SoundPlayer.h"
#include "state/PublicVars.h"

void PlayFailSound() {
  if (Sound) Sound->PlayAsync(ProgramFile("\\fail.wav"));
}
