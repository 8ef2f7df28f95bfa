#include "operations/SaveImage.h"

#include <algorithm>
#include <string>
#include <vector>

#include "devices/DeviceDatabase.h"
#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "link/CommDefs.h"
#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "link/FlashCrc.h"
#include "link/LineState.h"
#include "operations/ImageDirectory.h"
#include "operations/RunLog.h"
#include "platform/Bytes.h"
#include "platform/FileDialogs.h"
#include "platform/NumberText.h"
#include "platform/OutputFile.h"
#include "programmers/ProgrammerTypes.h"
#include "programmers/SecurityBlock.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"
#include "state/views/MainWindowView.h"

namespace {

constexpr int RecordBytes = 32;

std::string LinearAddressLine(int32_t value) {
  return ":02000004" + Hex4(value) + Hex2(250 - (value & 0xFF) - value / 256) + "\r\n";
}

// Records of a buffer from offset 0, 32 bytes each, without segments; the
// address field is shifted by `shift` (16 bits).
void AppendRecords(std::string& text, const std::vector<uint8_t>& buffer, int32_t count, int32_t shift) {
  for (int32_t o = 0; o < count; o += RecordBytes) {
    const int n = std::min(RecordBytes, count - o);
    text += HexDataLine(o + shift, buffer.data() + o, n);
  }
}

bool IsPSoCSectionFamily(const std::string& family) {
  return family == "PSoC3" || family == "PSoC5" || family == "PSoC5LP" || family == "PSoC4" || family == "GEN4" ||
         family == "GEN5" || family == "GEN6";
}

const char* const Source = "Save Image";

bool FailReadVerify() {
  RaiseError(ErrReadVerify, Source, "Read-Verify Error");
  CaptureError();
  return false;
}

// These areas have no stored CRC: uploads that agree byte for byte stand in for
// one, as a damaged byte would have to recur at the same place.
bool ReadAreaTwice(int32_t address, std::vector<uint8_t>& area) {
  const auto count = static_cast<int32_t>(area.size());
  return ReadFlash(address, count, area.data(), true) && ConfirmFlashRead(address, count, area.data(), true, Source);
}

}  // namespace

std::string HexDataLine(int32_t offset, const uint8_t* data, int count) {
  const int32_t address = offset & 0xFFFF;
  int sum = address / 256 + (address & 0xFF) + count;
  std::string line = ":" + Hex2(count) + Hex4(address) + "00";
  for (int i = 0; i < count; ++i) {
    line += Hex2(data[i]);
    sum += data[i];
  }
  return line + Hex2(256 - (sum & 0xFF)) + "\r\n";
}

std::string WriteHexFile(int32_t count, const std::string& familyName) {
  frmMain->SetProgressVisible(true);
  frmMain->SetStatusPanel("ExtStatus1", "Writing Image to File");
  std::string text;
  const ProgTypeTraits& traits = SelectedTypeTraits();
  const int32_t segmentBase = traits.hexImageBase;
  if (traits.reversesWords) {
    SwapBytes32(ImageBuffer, count - 1);
    SwapBytes32(EEBuffer, static_cast<int64_t>(EEBuffer.size()) - 1);
  }
  if (segmentBase > 0) text += LinearAddressLine(segmentBase);

  int32_t offset = 0, segment = 0, remaining = count;
  while (remaining > 0) {
    const int n = std::min(remaining, RecordBytes);
    text += HexDataLine(offset, ImageBuffer.data() + segment * 0x10000 + offset, n);
    remaining -= n;
    offset += n;
    if (offset == 0x10000) {
      ++segment;
      offset = 0;
      if (remaining > 0) {
        if (traits.hexSegmentRecords) {
          text += ":02000002" + Hex4(segment * 0x1000) + Hex2(252 - segment * 16) + "\r\n";
        } else {
          text += LinearAddressLine(segment + segmentBase);
        }
      }
    }
    if (offset % 256 == 0 && count > 0) frmMain->SetProgressValue(static_cast<int>(int64_t{offset} * 100 / count));
  }

  if (traits.carriesExtData && !IsPSoCSectionFamily(familyName)) {
    text += ":020000040010EA\r\n";
    text += ":20000000" + std::string(64, '0') + "E0\r\n";
    text += ":20002000" + std::string(64, '0') + "C0\r\n";
  }
  if (traits.hexSecondMemoryBase > 0) {
    text += LinearAddressLine(traits.hexSecondMemoryBase);
    AppendRecords(text, EEBuffer, static_cast<int32_t>(EEBuffer.size()), 0);
  }
  if (traits.slotDataAreas) {
    text += ":020000040001F9\r\n";
    AppendRecords(text, EEBuffer, static_cast<int32_t>(EEBuffer.size()), -0x1000);
    text += ":020000040010EA\r\n";
    AppendRecords(text, AuxBuffer, static_cast<int32_t>(AuxBuffer.size()), 0);
  }
  text += ":00000001FF\r\n";
  return text;
}

std::string WriteIicFile(int32_t count) {
  std::string line = "w 00 A0 03";
  for (int32_t i = 0; i < count; ++i) line += Hex2(ImageBuffer[i]) + " ";
  return line + "\r\n";
}

bool SlotReadProtected(int slot) {
  return slot >= 1 && slot <= MaxImageSlots && (SecurityDamaged || (ImageSecurity[slot - 1].Flags & 1));
}

bool SaveImageToFile(const std::string& fileName) {
  std::string path = fileName;
  bool iic = false;
  // An empty slot is refused before a file name is asked for.
  if (path.empty() && !SlotHoldsImage(ImageNumber)) return SaveImageAs(path, false);
  if (path.empty()) {
    FileDialogRequest request;
    request.save = true;
    request.mustExist = false;
    request.filter = "Intel HEX Format Files|*.hex";
    request.filterIndex = 1;
    request.initialName = "*.hex";
    request.defaultExtension = "hex";
    request.title = "Save Image " + Str(fgImages.Row) + " to File";
    request.initialFolder = AppPath;
    if (!FileDial1 || !FileDial1->Show(request, path)) return true;   // cancelled: nothing to report
    iic = path.size() > 4 && path.compare(path.size() - 4, 4, ".iic") == 0;
  }
  return SaveImageAs(path, iic);
}

bool SaveImageAs(const std::string& path, bool iic) {
  const LineOperation operation;
  if (!operation.Taken()) return RefuseBusyLine(Source);
  ClearError();
  const int slot = ImageNumber;
  RunLogScope log("save", slot);
  if (slot < 1 || slot >= static_cast<int>(ImageDirectory.size())) {
    RaiseError(6, Source, "Invalid Image Selection");
    CaptureError();
    return false;
  }
  // Nothing stored, nothing to upload: no file is made, not even an empty one.
  if (!SlotHoldsImage(slot)) {
    RaiseError(ErrSlotEmpty, Source, ProgrammerErrorText(ErrSlotEmpty));
    SetErrorContext("saving image " + std::to_string(slot) + " of the programmer at address " +
                        std::to_string(CurrentAddress),
                    "");
    CaptureError();
    return false;
  }
  // Created before the upload so that an unwritable place fails at once.
  OutputFile file;
  std::string reason;
  if (!file.Begin(path, reason)) {
    if (file.Refused()) RaiseError(ErrFileAccess, Source, reason);
    else RaiseError(ErrFileNotFound, Source, "Cannot create " + path);
    CaptureError();
    return false;
  }

  frmMain->SetStatusPanel("Status", "Saving Image to File");
  const DirEntry& entry = ImageDirectory[slot];
  const int32_t size = std::max(entry.Size, 0);
  CurFamily = entry.Family;
  LoadDeviceTypes();
  const DeviceRecord& device = DeviceTable[FindDeviceById(entry.DevCode)];
  const int32_t slotAddress = (slot - 1) * FlashMap.ImageSlotSize + FlashMap.ImageBase;

  frmMain->SetStatusPanel("ExtStatus1", "Uploading Image Data");
  ImageBuffer.assign(static_cast<size_t>(size) + 1, 0);
  bool ok = ReadFlash(slotAddress, size, ImageBuffer.data(), true);
  // The programmer made the directory's CRC from its own flash when the image
  // was stored, so a match with the CRC of the bytes received shows, at no
  // extra cost, that the upload arrived whole. The CRC algorithm is the
  // programmer's own, though: where the two differ, the image is read again
  // until two uploads agree byte for byte, and the programmer's CRC of its
  // flash must still be the stored one (the slot holds what was stored).
  if (ok && FlashCrcBytes(ImageBuffer.data(), static_cast<size_t>(size)) != entry.ImageCrc) {
    std::array<uint8_t, 2> crc{};
    ok = ConfirmFlashRead(slotAddress, size, ImageBuffer.data(), true, Source) && CrcFlashConfirmed(slotAddress, size, crc) &&
         (crc == entry.ImageCrc || FailReadVerify());
  }
  if (ok && SelectedTypeTraits().hexSecondMemoryBase > 0) {
    EEBuffer.assign(static_cast<size_t>(std::max(device.DevEESize, 0)), 0);
    ok = ReadAreaTwice((slot - 1) * FlashMap.EESlotSize + FlashMap.EEBase, EEBuffer);
  }
  if (ok && SelectedTypeTraits().slotDataAreas) {
    EEBuffer.assign(static_cast<size_t>(std::max(device.DevEESize, 0)), 0);
    AuxBuffer.assign(static_cast<size_t>(std::max(device.DevAuxSize, 0)), 0);
    ok = ReadAreaTwice(slotAddress + 0x40000, EEBuffer) && ReadAreaTwice(slotAddress + 0x50000, AuxBuffer);
  }
  if (ok && !file.Commit(iic ? WriteIicFile(size) : WriteHexFile(size, FamilyList[CurFamily]), reason)) {
    RaiseError(ErrFileNotFound, Source, reason);
    CaptureError();
  }
  frmMain->SetProgressVisible(false);
  frmMain->SetStatusPanel("Status", "");
  frmMain->SetStatusPanel("ExtStatus1", "");
  return LastErrorNumber < 1 || LastErrorNumber == ErrDialogCancelled;
}
