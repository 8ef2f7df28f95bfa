// Files delivered in the program's directory are named as "\device.inf";
// this turns such a name into a path under AppPath.
#pragma once

#include <string>

std::string ProgramFile(const std::string& name);

// The folder of the delivered data files for a program in programFolder:
// beside the program (a build tree, or an unpacked copy), else
// programFolder/../share/kestrin (an installed tree). A folder counts as the
// data folder when it holds device.inf, which every delivery carries; when
// neither does, the program's own folder, so errors name the file there.
std::string DataFolder(const std::string& programFolder);
