#include "state/ProgramFiles.h"

#include <sys/stat.h>

#include "state/Bindings.h"

std::string ProgramFile(const std::string& name) {
  std::string relative = name;
  for (char& c : relative) {
    if (c == '\\') c = '/';
  }
  if (!relative.empty() && relative[0] == '/') relative.erase(0, 1);
  return AppPath + "/" + relative;
}

namespace {

bool HoldsDeliveredData(const std::string& folder) {
  struct stat info {};
  return ::stat((folder + "/device.inf").c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// folder/.. without a trailing "/.." in the result: the parent named, not
// walked (a program reached through a link keeps its own folder's name).
std::string ParentOf(const std::string& folder) {
  std::string f = folder;
  while (f.size() > 1 && f.back() == '/') f.pop_back();
  const size_t slash = f.rfind('/');
  if (slash == std::string::npos || f.substr(slash + 1) == "..") return f + "/..";
  return slash == 0 ? std::string("/") : f.substr(0, slash);
}

}  // namespace

std::string DataFolder(const std::string& programFolder) {
  if (HoldsDeliveredData(programFolder)) return programFolder;
  const std::string parent = ParentOf(programFolder);
  const std::string installed = (parent == "/" ? std::string() : parent) + "/share/kestrin";
  if (HoldsDeliveredData(installed)) return installed;
  return programFolder;
}
