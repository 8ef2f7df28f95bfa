#include "operations/ImageDirectory.h"

#include <algorithm>
#include <vector>

#include "devices/DeviceDatabase.h"
#include "devices/DeviceState.h"
#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "link/Transport.h"
#include "platform/Bytes.h"
#include "platform/NumberText.h"
#include "programmers/ProgrammerTypes.h"
#include "programmers/SecurityBlock.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"
#include "state/views/ImageManagerView.h"
#include "state/views/MainWindowView.h"
#include "state/views/ProgramManagerView.h"

namespace {

constexpr int EENameRecordBytes = 32;

bool HasModeColumn() { return SelectedTypeTraits().modeColumn != ModeColumn::None; }
bool HasClockColumns() { return SelectedTypeTraits().hasTargetClock; }

std::string NameText(const uint8_t* bytes) { return std::string(bytes, bytes + ImageNameLength); }

void FillHeader() {
  const int cols = HasClockColumns() ? 10 : HasModeColumn() ? 8 : 7;
  fgImages.Resize(SlotCount() + 1, cols);
  const char* headers[] = {"Image", "RP", FwGen2 ? "Images Remaining" : "", "Image Name", "Device Family",
                           "Device Type", "Voltage"};
  for (int c = 0; c < 7; ++c) fgImages.TextMatrix(0, c) = headers[c];
  if (HasModeColumn()) fgImages.TextMatrix(0, ColMode) = "Mode";
  if (HasClockColumns()) {
    fgImages.TextMatrix(0, ColClock) = "Clock Freq";
    fgImages.TextMatrix(0, ColSecondImage) = SelectedTypeTraits().secondImageColumn;
  }
}

void FillRow(int n, const DirEntry& e) {
  fgImages.TextMatrix(n, ColImage) = std::to_string(n);
  if (e.Size < 1) return;   // an empty slot shows only its number

  CurFamily = e.Family;
  LoadDeviceTypes();
  const DeviceRecord& device = DeviceTable[FindDeviceById(e.DevCode)];
  const ImageSecurityEntry& security = ImageSecurity[n - 1];
  const std::string& family = FamilyList[CurFamily];

  // A damaged block protects every slot and vouches for no count.
  fgImages.TextMatrix(n, ColReadProtect) = (SecurityDamaged || (security.Flags & 1)) ? "RP" : "";
  fgImages.TextMatrix(n, ColRemaining) = SecurityDamaged      ? SecurityDamagedCount
                                         : security.Count < 0 ? "Unrestricted"
                                                              : std::to_string(security.Count);
  fgImages.TextMatrix(n, ColName) = NameText(e.Name.data());
  fgImages.TextMatrix(n, ColFamily) = family;
  fgImages.TextMatrix(n, ColDeviceType) = device.DevName;
  fgImages.TextMatrix(n, ColVoltage) = FormatFixed(e.Voltage * 0.02, 2);
  if (HasModeColumn()) fgImages.TextMatrix(n, ColMode) = ModeText(e, device.DevFlags, family);
  if (ProgType == 2) fgImages.TextMatrix(n, ColClock) = ClockText(e.Freq, true);
  if (HasClockColumns()) fgImages.TextMatrix(n, ColSecondImage) = (e.Mode & 2) ? EEImageName[n] : "<none>";
}

}  // namespace

int SlotCount() {
  if (SelectedProgrammer < 1 || SelectedProgrammer > MaxProgrammers) return 0;
  return std::min<int>(ProgrammerTable[SelectedProgrammer].NumImages, MaxImageSlots);
}

bool SlotHoldsImage(int slot) {
  return slot >= 1 && slot <= SlotCount() && slot < static_cast<int>(ImageDirectory.size()) &&
         ImageDirectory[slot].Size > 0;
}

std::string SlotImageName(int slot) {
  if (!SlotHoldsImage(slot)) return "";
  std::string name = NameText(ImageDirectory[slot].Name.data());
  while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.pop_back();
  return name;
}

DirEntry DecodeDirEntry(const uint8_t* b) {
  DirEntry e;
  e.Size = GetLong(b);
  e.ImageCrc = {b[4], b[5]};
  e.DevCode = static_cast<int16_t>(b[6] + (b[29] & 0xC0) * 4);
  e.Voltage = b[7];
  std::copy(b + 8, b + 8 + ImageNameLength, e.Name.begin());
  e.Mode = b[28];
  e.Family = b[29] & 0x3F;
  e.Freq = GetWord(b + 30);
  return e;
}

std::string ClockText(int16_t freq, bool typeTwo) {
  if (freq < 1000) return std::to_string(freq) + " KHz";
  return CStr(freq / 1000.0) + (typeTwo ? "MHz" : " MHz");
}

std::string ModeText(const DirEntry& e, int16_t devFlags, const std::string& family) {
  const ProgTypeTraits& traits = SelectedTypeTraits();
  switch (traits.modeColumn) {
    case ModeColumn::StartModeResetRun:
      if (e.Mode & 0x40) return "Reset/Run";
      return traits.startModeNames[e.Mode & 1];
    case ModeColumn::Interface:
      if (e.Mode & 4) return "   JTAG";
      if (devFlags & 2) return "   TPI";
      if (family == "ATxmega AVR") return "   PDI";
      return "SPI " + ClockText(e.Freq, false);
    default:
      return StartModeNames[e.Mode & 1];
  }
}

void RefreshImageDirectory() {
  const ErrorRecordCopy outcome;
  ShowImageDirectory();
  outcome.Restore();
}

void ShowImageDirectory() {
  const LineOperation operation;
  if (!operation.Taken()) {
    RefuseBusyLine("Show Image Directory");
    return;
  }
  if (!ReadSecurityBlock()) {
    ShowErrorReport();
    return;
  }

  const int slots = SlotCount();
  FillHeader();

  if (HasClockColumns()) {
    std::vector<uint8_t> names(MaxImageSlots * EENameRecordBytes, 0);
    if (ReadFlashConfirmed(FlashMap.EENameBase, static_cast<int32_t>(names.size()), names.data())) {
      for (int n = 1; n <= MaxImageSlots; ++n) EEImageName[n] = NameText(&names[(n - 1) * EENameRecordBytes]);
    }
  }

  std::vector<uint8_t> entries(static_cast<size_t>(slots) * DirEntryBytes, 0);
  if (!ReadFlashConfirmed(DirectoryAddress, static_cast<int32_t>(entries.size()), entries.data())) {
    ShowErrorReport();
    return;
  }
  ImageDirectory.assign(slots + 1, DirEntry{});
  bool anyImage = false;
  for (int n = 1; n <= slots; ++n) {
    ImageDirectory[n] = DecodeDirEntry(&entries[(n - 1) * DirEntryBytes]);
    anyImage = anyImage || ImageDirectory[n].Size >= 1;
  }
  if (SecurityDamaged) {
    // Repeated reads agreed that the block's CRC is wrong. With no image
    // stored it protects nothing (a new programmer's erased block): written
    // anew with no limits. Otherwise it is kept as it is, every slot counts
    // as protected, and the status bar says why.
    if (!anyImage) {
      if (!ClearSecurityBlock()) {
        ShowErrorReport();
        return;
      }
      if (frmMain) frmMain->SetStatusPanel("Status", SecurityResetText);
    } else if (frmMain) {
      frmMain->SetStatusPanel("Status", SecurityDamagedText);
    }
  }
  for (int n = 1; n <= slots; ++n) FillRow(n, ImageDirectory[n]);
  NoteLineBack();   // read afresh: what the grid shows is the programmer's store
  fgImages.Row = std::min(std::max(ImageNumber, 1), std::max(slots, 1));
  if (frmImageMan) frmImageMan->GridChanged();
  if (frmProgram) frmProgram->DirectoryChanged();
}
