// kestrin-cli commands that need no programmer: the device database and the
// conversion of build files into the image a load would download.
#pragma once

#include "cli/CliCommands.h"

int DevicesCommand(const CliOptions& options);
int ConvertCommand(const CliOptions& options);
