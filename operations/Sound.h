// The alarm of a failed port.
#pragma once

// Plays "\fail.wav" from the program's directory, asynchronously.
void PlayFailSound();
