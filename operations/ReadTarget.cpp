#include "operations/ReadTarget.h"

#include <algorithm>
#include <array>
#include <string>

#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "link/CommDefs.h"
#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "link/LineState.h"
#include "link/Transport.h"
#include "operations/ImageDirectory.h"
#include "operations/ImageDownload.h"
#include "operations/PortStatus.h"
#include "operations/RunLog.h"
#include "operations/RunState.h"
#include "operations/Serialize.h"
#include "programmers/ProgrammerTypes.h"
#include "programmers/SecurityBlock.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"
#include "state/ProgramFiles.h"
#include "state/SlotContents.h"
#include "state/views/MainWindowView.h"
#include "state/views/ReadImageView.h"

namespace {

void WaitTicks(int ticks) {
  const int32_t deadline = WrapTick(static_cast<int64_t>(TickCount) + ticks);
  while (deadline > TickCount) LetEventsRun();
}

// The second-memory name read along with the image, or "" when none is.
std::string SecondMemoryName() {
  const bool withSecond = ((ProgType == 6 || ProgType == 7) && (ImageMode & 2)) || (ProgType == 2 && (ImageMode & 1));
  return withSecond ? EEName : "";
}

// Follows the port until it rests in a final state that two status replies
// agreed on; false when a status read failed.
bool FollowRead(bool& portFailed) {
  const int port = std::clamp(ReadPort, 1, 4) - 1;
  PortStatusWatch watch;
  bool busy = true;
  int picture = 0;
  while (busy) {
    WaitTicks(ReadPollTicks);
    picture = picture % 4 + 1;
    if (frmReadImage) frmReadImage->ShowStatusPicture(ProgramFile("\\Sts" + std::to_string(picture) + ".bmp"));
    if (!ReadPortStatus(watch, StatusConfirm::AtNextPoll)) return false;
    if (!watch.Counted(port)) continue;
    std::string caption;
    int64_t back = 0, fore = 0;
    bool failed = false;
    PortStatusText(watch.Code(port), caption, back, fore, failed);
    portFailed = failed;
    if (frmReadImage) frmReadImage->SetPortStatus(caption, back, fore);
    busy = !watch.Settled(port);
  }
  return true;
}

}  // namespace

bool ReadTargetIntoSlot(const TargetReadSettings& settings) {
  ImageNumber = settings.image;
  ReadPort = settings.port;
  ImageName = settings.name;
  EEName = settings.secondName;
  ImageMode = settings.mode;
  ImageFreq = settings.freq;
  ImageVoltage = settings.voltage;
  return ReadTargetDeviceImage();
}

bool ReadTargetDeviceImage() {
  const LineOperation operation;
  if (!operation.Taken()) return RefuseBusyLine("Read Target Device");
  SlotContentsChanged(CurrentAddress, ImageNumber);
  ClearError();
  ErrorTitle = "Read Target Device Image";
  if (frmReadImage) frmReadImage->SetPortStatus("", ColorButtonFace, ColorTeal);
  const DeviceRecord& device = DeviceTable[std::max(CurDevice, 0)];
  RunLogScope log("read", ImageNumber);
  log.SetImage(ImageName, device.DevName, "");
  const int32_t entryAddress = DirectoryAddress + (ImageNumber - 1) * DirEntryBytes;

  auto finish = [] {
    for (const char* panel : {"ExtStatus2", "ExtStatus1", "Status"}) frmMain->SetStatusPanel(panel, "");
    const bool ok = LastErrorNumber == 0 || LastErrorNumber == ErrDialogCancelled;
    frmMain->SetEnabled(true);
    return ok;
  };
  if (ImageNumber < 1 || ImageNumber > SlotCount()) {
    RaiseError(6, "Read Target Device", "Invalid Image Selection");
    CaptureError();
    return finish();
  }

  // Every slot's protection and counts are written back at the end: read
  // now, and a failed read stops before anything is written.
  SecurityUpdate securityUpdate;
  if (!securityUpdate.Begin()) return finish();

  std::array<uint8_t, 32> entry = BuildDirEntry({0, 0});
  std::fill(entry.begin(), entry.begin() + 4, 0);   // no size until the read is done
  if (!WriteFlashVerified(entryAddress, DirEntryBytes, entry.data())) return finish();

  std::string name = SecondMemoryName();
  if (!name.empty()) {
    name = DirectoryName(name);
    if (!WriteFlashVerified(FlashMap.EENameBase + (ImageNumber - 1) * 32, ImageNameLength,
                            reinterpret_cast<const uint8_t*>(name.data()))) {
      return finish();
    }
  }

  frmMain->SetStatusPanel("Status", "Reading Image Data from Device");
  if (!ReadDevice(ReadPort, ImageNumber)) return finish();
  bool portFailed = false;
  const bool followed = FollowRead(portFailed);
  if (frmReadImage) frmReadImage->HideStatusPicture();
  if (!followed) return finish();
  if (portFailed) {
    RaiseError(ErrDeviceRead, "Read Target Device", "Device Read Failed");
    CaptureError();
    return finish();
  }

  frmMain->SetStatusPanel("Status", "Calculating Image CRC");
  const int32_t slotAddress = (ImageNumber - 1) * ProgrammerTable[SelectedProgrammer].SlotSize + FlashMap.ImageBase;
  frmMain->SetStatusPanel("ExtStatus1", "Performing Image Crc");
  std::array<uint8_t, 2> crc{};
  if (!CrcFlashConfirmed(slotAddress, device.DevFlashSize, crc)) return finish();
  log.SetImage(ImageName, device.DevName, CrcText(crc));

  if (SelectedTypeTraits().carriesExtData) {
    ExtData.fill(0);
    if (!WriteFlashVerified(ImageNumber * 256, 256, ExtData.data())) return finish();
  }

  // A read image carries no serial numbers (not the slot's old ones), is
  // unlimited and not read protected; its size and CRC are the last write, so
  // the slot names the image only once all else verified.
  if (!WriteSlotSerializationVerified(ImageNumber - 1, SerialRecord{})) return finish();
  ImageSecurity[ImageNumber - 1].Count = -1;
  ImageSecurity[ImageNumber - 1].Flags = 0;
  if (!securityUpdate.Commit()) return finish();
  const std::array<uint8_t, 32> done = BuildDirEntry(crc);
  CompleteDirEntry(entryAddress, 6, done.data());
  return finish();
}
