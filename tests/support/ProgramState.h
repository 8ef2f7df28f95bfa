// Every group of the program's globals back at its start value, the platform
// objects null and no operation holding the line. Each test starts from it.
#pragma once

void ResetProgramState();
