// Files delivered in the program's directory are named as "\device.inf";
// this turns such a name into a path under AppPath.
#pragma once

#include <string>

std::string ProgramFile(const std::string& name);
