#include "operations/Selection.h"
#include "programmers/RevisionTables.h"

#include <algorithm>
#include <cmath>

#include "devices/DeviceDatabase.h"
#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "link/CommDefs.h"
#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "link/LineState.h"
#include "operations/ImageDirectory.h"
#include "options/Serialization.h"
#include "platform/MessageBox.h"
#include "platform/NumberText.h"
#include "platform/SerialPort.h"
#include "programmers/Discovery.h"
#include "programmers/FirmwareArea.h"
#include "programmers/FlashMap.h"
#include "programmers/ProgrammerTypes.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"
#include "state/views/ImageManagerView.h"
#include "state/views/MainWindowView.h"

namespace {

// The largest image buffer a slot may ask for; a map read from a damaged
// programmer must not make the program allocate gigabytes.
constexpr int32_t MaxImageSlotSize = 16 * 1024 * 1024;

template <size_t N>
const ProgTypeInfo& TypeRecord(const std::array<ProgTypeInfo, N>& table, int type) {
  static const ProgTypeInfo none;
  return type >= 0 && static_cast<size_t>(type) < N ? table[type] : none;
}

// A programmer keeps serialization records when it answers ReadSerialization;
// slot 1's record then becomes the serialization settings.
bool ProbeSerialization() {
  SerialRecord record;
  if (!ReadSerialization(0, record)) return false;
  TakeSerialSettings(record);
  return true;
}

void CopyTypeRecord(const ProgTypeInfo& t) {
  ProgTypeName = t.TypeName;
  FirmwareFileName = t.FirmwareFile;
  LatestFwRev = t.LatestRevision;
  HwcFileNames = t.HwcFiles;
  VectorFileName = t.VectorFile;
  VectorFileName2 = t.VectorFile2;
}

}  // namespace

std::string ObsoleteFirmwareMessage(float latestRevision) {
  return "PLEASE NOTE: The firmware in this Programmer is obsolete.\r\n"
         "Please select 'Upgrade Firmware' from the Configuration menu to upgrade\r\n"
         "this Programmer's firmware to revision " +
         FormatFixed(latestRevision, 3);
}

void SetStartModeNames() {
  StartModeNames.fill("");
  const auto& names = SelectedTypeTraits().startModeNames;
  std::copy(names.begin(), names.end(), StartModeNames.begin());
}

namespace {

// Generation, type record, device file and flash map of the entry; false
// when the map could not be read (it keeps its previous values).
bool TakeFirmwareOf(const ProgrammerRecord& programmer) {
  switch (FirmwareGeneration(programmer.FwRevision)) {
    case 1:
      FwGen2 = FwGen3 = false;
      CopyTypeRecord(TypeRecord(TypeTableV1, ProgType));
      DeviceFile = "\\device_V1.inf";
      break;
    case 2:
      FwGen2 = true;
      FwGen3 = false;
      CopyTypeRecord(TypeRecord(TypeTableV2, ProgType));
      DeviceFile = "\\device_V2.inf";
      break;
    default:
      FwGen2 = FwGen3 = true;
      CopyTypeRecord(TypeRecord(TypeTableV3, ProgType));
      DeviceFile = "\\device.inf";
      break;
  }
  return ReadFlashMap();
}

void TakeTypeTraits(const ProgrammerRecord& programmer) {
  ImageBuffer.assign(static_cast<size_t>(std::clamp(FlashMap.ImageSlotSize, 0, MaxImageSlotSize)) + 1, 0);
  const ProgTypeTraits& traits = SelectedTypeTraits();
  if (traits.known) {
    CurrentPicture = traits.picture;
    SecondaryName = traits.secondaryName;
  }
  if (frmImageMan) {
    frmImageMan->SetProgrammerPicture(CurrentPicture);
    frmImageMan->SetProgrammerLabels("Address:" + Str(CurrentAddress), ProgTypeName,
                                     "Revision " + programmer.FwRevision);
  }
}

}  // namespace

void SelectProgrammer() {
  const LineOperation operation;
  if (!operation.Taken()) {
    RefuseBusyLine("Select Programmer");
    return;
  }
  const int index = frmMain->SelectedProgrammerItem();
  if (index < 1 || index > ProgCount) return;
  const ProgrammerRecord& programmer = ProgrammerTable[index];
  SelectedProgrammer = index;
  ProgType = programmer.ProgType;
  CurrentAddress = programmer.Address;
  MSComm1->SetSettings(ProgSettings[CurrentAddress]);

  const bool mapRead = TakeFirmwareOf(programmer);
  if (!mapRead) ShowErrorReport();
  TakeTypeTraits(programmer);

  if (static_cast<float>(ValWithin(programmer.FwRevision, -1e6, 1e6)) < LatestFwRev) {
    MessageBox->MsgBox(ObsoleteFirmwareMessage(LatestFwRev), vbOKOnly, "");
  }
  WarnOfIncompleteFirmware();

  LoadDeviceFamilies();
  SetStartModeNames();
  if (SelectedProgrammer > 0) frmMain->SetConfigMenuEnabled(true);
  // Without the line every read after the map fails the same way: one report
  // says so, and the grid stays as it was, marked as not current.
  if (!mapRead && !LineLostText.empty()) return;
  SerialSupported = ProbeSerialization();
  ShowImageDirectory();
}

bool ReselectProgrammer() {
  const LineOperation operation;
  if (!operation.Taken()) return RefuseBusyLine("Select Programmer");
  if (SelectedProgrammer < 1 || SelectedProgrammer > ProgCount) {
    RaiseError(ErrNoneSelected, "Select Programmer", "No Programmer Selected");
    CaptureError();
    return false;
  }
  ProgrammerRecord& programmer = ProgrammerTable[SelectedProgrammer];
  // The configuration block as the new firmware reports it: type, slots and slot size.
  if (!ReadProgrammerConfig(programmer)) {
    CaptureError();
    return false;
  }
  ProgType = programmer.ProgType;
  if (!TakeFirmwareOf(programmer)) {
    CaptureError();
    return false;
  }
  TakeTypeTraits(programmer);
  {
    const ErrorRecordCopy before;
    FirmwareIncomplete = CheckFirmwareArea() == FirmwareArea::Incomplete;
    before.Restore();
  }
  // As selection does, a device file that cannot be read leaves no families
  // but does not stop it: the programmer's own tables do not depend on it.
  LoadDeviceFamilies();
  SetStartModeNames();
  SerialSupported = ProbeSerialization();
  ClearError();
  return true;
}
