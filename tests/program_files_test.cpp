// Where a program finds its data files: beside itself (a build tree), else in
// ../share/kestrin (an installed tree); a folder counts only when it holds the
// device database, and without one anywhere the program's own folder is named.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "state/Bindings.h"
#include "state/ProgramFiles.h"
#include "tests/support/ProgramState.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

struct DataFolderCase {
  const char* name;
  std::vector<std::string> files;    // created under the temporary root ("dir/" makes a folder)
  const char* programFolder;         // relative to the root
  const char* expected;              // relative to the root
};

const DataFolderCase kCases[] = {
    {"build tree: beside the program", {"build/bin/device.inf", "build/bin/revisions.inf"}, "build/bin", "build/bin"},
    {"installed tree", {"usr/bin/", "usr/share/kestrin/device.inf"}, "usr/bin", "usr/share/kestrin"},
    {"beside wins over share", {"usr/bin/device.inf", "usr/share/kestrin/device.inf"}, "usr/bin", "usr/bin"},
    {"other files beside do not count", {"usr/bin/revisions.inf", "usr/share/kestrin/device.inf"}, "usr/bin",
     "usr/share/kestrin"},
    {"a folder named device.inf does not count", {"usr/bin/device.inf/", "usr/share/kestrin/device.inf"}, "usr/bin",
     "usr/share/kestrin"},
    {"share without the database: own folder", {"usr/bin/", "usr/share/kestrin/revisions.inf"}, "usr/bin", "usr/bin"},
    {"nothing anywhere: own folder", {"opt/bin/"}, "opt/bin", "opt/bin"},
    {"trailing slash", {"usr/bin/", "usr/share/kestrin/device.inf"}, "usr/bin/", "usr/share/kestrin"},
    {"only the parent's share folder", {"a/b/bin/", "a/share/kestrin/device.inf"}, "a/b/bin", "a/b/bin"},
};

class DataFolderTest : public ::testing::TestWithParam<DataFolderCase> {
 protected:
  void SetUp() override { ResetProgramState(); }
};

TEST_P(DataFolderTest, FindsTheDeliveredFiles) {
  const DataFolderCase& c = GetParam();
  TempDir root;
  for (const std::string& file : c.files) {
    if (file.back() == '/') {
      fs::create_directories(root.path() + "/" + file);
    } else {
      fs::create_directories(fs::path(root.path() + "/" + file).parent_path());
      root.Write(file, "[Device]\n");
    }
  }
  const std::string found = DataFolder(root.path() + "/" + c.programFolder);
  std::string expected = root.path() + "/" + c.expected;
  if (std::string(c.programFolder) == c.expected) expected = root.path() + "/" + c.programFolder;
  EXPECT_EQ(found, expected);
  // The data files are then named in it.
  AppPath = found;
  EXPECT_EQ(ProgramFile("\\device.inf"), found + "/device.inf");
}

INSTANTIATE_TEST_SUITE_P(Cases, DataFolderTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<DataFolderCase>& info) {
                           std::string name;
                           for (const char* p = info.param.name; *p; ++p)
                             name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                           return name;
                         });

}  // namespace
