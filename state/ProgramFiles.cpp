#include "state/ProgramFiles.h"

#include "state/Bindings.h"

std::string ProgramFile(const std::string& name) {
  std::string relative = name;
  for (char& c : relative) {
    if (c == '\\') c = '/';
  }
  if (!relative.empty() && relative[0] == '/') relative.erase(0, 1);
  return AppPath + "/" + relative;
}
