#include "programmers/RevisionTables.h"

#include <cmath>
#include <string>
#include <vector>

#include "link/CommDefs.h"
#include "link/ErrorRecord.h"
#include "platform/NumberText.h"
#include "platform/TextFields.h"
#include "programmers/UnitState.h"
#include "state/ErrorState.h"
#include "state/ProgramFiles.h"

namespace {

constexpr int32_t ErrBadTypeRecord = ErrFileFormat;

// Fields per line: V1 has five, V2 adds a second hardware configuration file,
// V3 three more and a second vector file. Reads at most `capacity` records
// into `table`; a record of the wrong shape is left empty.
void ReadRecords(const char* name, ProgTypeInfo* table, size_t capacity, size_t fields, size_t* read = nullptr) {
  for (size_t i = 0; i < capacity; ++i) table[i] = ProgTypeInfo();
  if (read) *read = 0;
  const std::string path = ProgramFile(name);
  TextFieldReader reader;
  std::string error;
  if (!reader.OpenFile(path, error)) {
    if (!ErrorPending()) RaiseError(reader.OpenError(), "Load Programmer Types", "Cannot read " + path + ": " + error);
    return;
  }
  std::vector<std::string> f;
  int line = 0;
  for (size_t index = 0; index < capacity && reader.ReadLineFields(f); ++index) {
    ++line;
    if (read) *read = index + 1;
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

template <size_t N>
void ReadTable(const char* name, std::array<ProgTypeInfo, N>& table, size_t first, size_t fields) {
  table[0] = ProgTypeInfo();
  ReadRecords(name, table.data() + first, N - first, fields);
}

struct TableFile {
  const char* name;
  size_t capacity;
  size_t fields;
};
const TableFile TableFiles[] = {{"\\revisions.inf", 5, 5}, {"\\revisionsV2.inf", 11, 6}, {"\\revisionsV3.inf", 26, 10}};

}  // namespace

bool LoadRevisionTables() {
  ClearError();
  ErrorTitle = "Load Programmer Types";
  LastFunction = "Load Revision Tables";
  ReadTable(TableFiles[0].name, TypeTableV1, 1, TableFiles[0].fields);
  ReadTable(TableFiles[1].name, TypeTableV2, 0, TableFiles[1].fields);
  ReadTable(TableFiles[2].name, TypeTableV3, 0, TableFiles[2].fields);
  CaptureError();
  return LastErrorNumber == 0;
}

bool LoadFactoryTypeList(std::vector<ProgTypeInfo>& types, std::vector<int>* generations) {
  ClearError();
  ErrorTitle = "Load Programmer Types";
  LastFunction = "Load Revision Tables";
  types.clear();
  if (generations) generations->clear();
  int generation = 0;
  for (const TableFile& file : TableFiles) {
    ++generation;   // the files are in generation order
    std::vector<ProgTypeInfo> table(file.capacity);
    size_t read = 0;
    ReadRecords(file.name, table.data(), table.size(), file.fields, &read);
    for (size_t i = 0; i < read; ++i) {
      if (table[i].TypeName.empty()) continue;
      types.push_back(table[i]);
      if (generations) generations->push_back(generation);
    }
  }
  CaptureError();
  return LastErrorNumber == 0;
}

int FirmwareGeneration(const std::string& revision) {
  const double g = std::floor(Val(revision));
  return g < 2 ? 1 : g < 3 ? 2 : 3;
}
