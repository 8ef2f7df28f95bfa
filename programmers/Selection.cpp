#include "programmers/Selection.h"

#include <algorithm>
#include <cmath>

#include "devices/DeviceDatabase.h"
#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "state/views/ImageManagerView.h"
#include "platform/MessageBox.h"
#include "platform/NumberText.h"
#include "platform/SerialPort.h"
#include "programmers/FlashMap.h"
#include "programmers/ImageDirectory.h"
#include "state/views/MainWindowView.h"
#include "state/PublicVars.h"

namespace {

// Picture key and second-memory name of each programmer type.
struct TypeLook {
  const char* picture;
  const char* secondaryName;
};
constexpr TypeLook TypeLooks[] = {
    {"PSOC", "EEPROM"}, {"Z8ENCORE", "FIB3"}, {"E2", ""},    {"C2", ""},          {"ZNEO", ""},
    {"AVR", "EEPROM"},  {"AVR32", "User Memory"}, {"X1", ""}, {"ARM", "Data Flash"},
};

// The largest image buffer a slot may ask for; a map read from a damaged
// programmer must not make the program allocate gigabytes.
constexpr int32_t MaxImageSlotSize = 16 * 1024 * 1024;

template <size_t N>
const ProgTypeInfo& TypeRecord(const std::array<ProgTypeInfo, N>& table, int type) {
  static const ProgTypeInfo none;
  return type >= 0 && static_cast<size_t>(type) < N ? table[type] : none;
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

int FirmwareGeneration(const std::string& revision) {
  const double g = std::floor(Val(revision));
  return g < 2 ? 1 : g < 3 ? 2 : 3;
}

std::string ObsoleteFirmwareMessage(float latestRevision) {
  return "PLEASE NOTE: The firmware in this Programmer is obsolete.\r\n"
         "Please select 'Upgrade Firmware' from the Configuration menu to upgrade\r\n"
         "this Programmer's firmware to revision " +
         FormatFixed(latestRevision, 3);
}

void SetStartModeNames() {
  StartModeNames.fill("");
  if (ProgType == 1 || ProgType == 8) {
    StartModeNames[0] = "Reset";
    StartModeNames[1] = "Power On";
    StartModeNames[2] = "Reset/Run";
  } else if (ProgType == 2 || (ProgType >= 4 && ProgType <= 7) || ProgType == 9) {
    StartModeNames[0] = "Reset";
    StartModeNames[1] = "Run";
  }
}

void SelectProgrammer() {
  const int index = frmMain->SelectedProgrammerItem();
  if (index < 1 || index > ProgCount) return;
  const ProgrammerRecord& programmer = ProgrammerTable[index];
  SelectedProgrammer = index;
  ProgType = programmer.ProgType;
  CurrentAddress = programmer.Address;
  MSComm1->SetSettings(ProgSettings[CurrentAddress]);

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

  if (!ReadFlashMap()) ShowErrorReport();
  ImageBuffer.assign(static_cast<size_t>(std::clamp(FlashMap.ImageSlotSize, 0, MaxImageSlotSize)) + 1, 0);

  if (ProgType >= 1 && ProgType <= 9) {
    CurrentPicture = TypeLooks[ProgType - 1].picture;
    SecondaryName = TypeLooks[ProgType - 1].secondaryName;
  }
  if (frmImageMan) {
    frmImageMan->SetProgrammerPicture(CurrentPicture);
    frmImageMan->SetProgrammerLabels("Address:" + Str(CurrentAddress), ProgTypeName,
                                     "Revision " + programmer.FwRevision);
  }

  if (static_cast<float>(ValWithin(programmer.FwRevision, -1e6, 1e6)) < LatestFwRev) {
    MessageBox->MsgBox(ObsoleteFirmwareMessage(LatestFwRev), vbOKOnly, "");
  }

  LoadDeviceFamilies();
  SetStartModeNames();
  if (SelectedProgrammer > 0) frmMain->SetConfigMenuEnabled(true);
  SerialSupported = ReadSerialization(0);
  ShowImageDirectory();
}
