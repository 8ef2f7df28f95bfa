#include "programmers/RevisionTables.h"

#include <string>
#include <vector>

#include "devices/ProgramFiles.h"
#include "devices/TextFields.h"
#include "link/CommDefs.h"
#include "link/ErrorRecord.h"
#include "platform/NumberText.h"
#include "state/PublicVars.h"

namespace {

constexpr int32_t ErrBadTypeRecord = ErrFileFormat;

// Fields per line: V1 has five, V2 adds a second hardware configuration file,
// V3 three more and a second vector file.
template <size_t N>
void ReadTable(const char* name, std::array<ProgTypeInfo, N>& table, size_t first, size_t fields) {
  for (ProgTypeInfo& t : table) t = ProgTypeInfo();
  const std::string path = ProgramFile(name);
  TextFieldReader reader;
  std::string error;
  if (!reader.OpenFile(path, error)) {
    if (!ErrorPending()) RaiseError(reader.OpenError(), "Load Programmer Types", "Cannot read " + path + ": " + error);
    return;
  }
  std::vector<std::string> f;
  int line = 0;
  for (size_t index = first; index < N && reader.ReadLineFields(f); ++index) {
    ++line;
    if (f.size() != fields) {
      if (!ErrorPending()) {
        RaiseError(ErrBadTypeRecord, "Load Programmer Types",
                   "Bad programmer type record in " + path + ", line " + std::to_string(line) + ": " +
                       std::to_string(f.size()) + " fields where " + std::to_string(fields) + " belong");
      }
      continue;
    }
    ProgTypeInfo& t = table[index];
    t.TypeName = f[0];
    t.LatestRevision = static_cast<float>(ValWithin(f[1], -1e6, 1e6));
    t.FirmwareFile = f[2];
    t.HwcFiles[0] = f[3];
    t.VectorFile = f[4];
    if (fields > 5) t.HwcFiles[1] = f[5];
    if (fields > 6) {
      t.HwcFiles[2] = f[6];
      t.HwcFiles[3] = f[7];
      t.HwcFiles[4] = f[8];
      t.VectorFile2 = f[9];
    }
  }
}

}  // namespace

bool LoadRevisionTables() {
  ClearError();
  ErrorTitle = "Load Programmer Types";
  LastFunction = "Load Revision Tables";
  ReadTable("\\revisions.inf", TypeTableV1, 1, 5);
  ReadTable("\\revisionsV2.inf", TypeTableV2, 0, 6);
  ReadTable("\\revisionsV3.inf", TypeTableV3, 0, 10);
  CaptureError();
  return LastErrorNumber == 0;
}
