#include "operations/Sound.h"

#include "platform/SoundPlayer.h"
#include "state/ProgramFiles.h"
#include "state/PublicVars.h"

void PlayFailSound() {
  if (Sound) Sound->PlayAsync(ProgramFile("\\fail.wav"));
}
