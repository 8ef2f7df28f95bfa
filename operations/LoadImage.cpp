#include "operations/LoadImage.h"

#include <algorithm>

#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "images/HexLoader.h"
#include "images/ImageSettings.h"
#include "images/Loaders.h"
#include "images/ProjectState.h"
#include "link/CommDefs.h"
#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "link/LineState.h"
#include "operations/ImageDirectory.h"
#include "operations/ImageDownload.h"
#include "operations/RunLog.h"
#include "options/SerialState.h"
#include "options/Serialization.h"
#include "programmers/ProgrammerTypes.h"
#include "programmers/UnitState.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"

bool LoadImageFromFiles(const ImageLoadSettings& settings) {
  const LineOperation operation;
  if (!operation.Taken()) return RefuseBusyLine("Load Image");
  ClearError();
  CancelRequest = false;   // a Cancel from now on stops this load (a run's old one does not)
  const DeviceRecord& chosen = DeviceTable[std::max(CurDevice, 0)];
  RunLogScope log("load", settings.image);
  log.SetImage(settings.name, chosen.DevName, "");
  SerialRecord record = settings.serialRecord.value_or(SerialSettingsRecord());
  const SerialPlacement placement = PlaceSerialNumber(ProgType, record.memory, record.address);
  if (settings.writeSerialization && SerialSupported &&
      !SerialInsideDevice(placement, SerialSize(record.format), chosen)) {
    // Refused before anything is sent: the unit would write outside the part.
    ErrorTitle = SerialRangeTitle;
    LastFunction = "Load Image";
    RaiseError(ErrAddressRange, SerialRangeTitle, SerialRangeMessage);
    CaptureError();
    return false;
  }
  if (!ConvertImageForLoad(settings)) return false;

  ImageNumber = settings.image;
  ImageName = settings.name;
  ImageMode = settings.modeWord ? settings.modeWord() : 0;
  ImageFreq = settings.freq;
  ImageVoltage = settings.voltage;
  // The slot's serialization record goes in with the image, before the
  // directory entry: a slot never names the new image with the old record.
  record.memory = placement.memory;
  record.address = placement.address;
  std::optional<SerialRecord> serialization;
  if (settings.writeSerialization) serialization = record;
  if (!LoadNewDeviceImage(settings.readProtect, settings.count, serialization)) return false;
  if (settings.writeSerialization && !settings.serialRecord) {
    SerialMemory = placement.memory;
    SerialAddress = placement.address;
  }
  log.SetImage(settings.name, chosen.DevName, ImageChecksumText(EntireImageChecksum));
  return true;
}

bool ConvertImageForLoad(const ImageLoadSettings& settings) {
  ErrorTitle = "Convert Image Files";
  FileCount = static_cast<int>(std::min(settings.files.size(), FileList.size()));
  for (int i = 0; i < static_cast<int>(FileList.size()); ++i) FileList[i] = i < FileCount ? settings.files[i] : "";
  if (!ConvertImageFiles()) return false;   // the loaders keep their own error
  FileChecksum = ImageChecksum;

  const DeviceRecord& device = DeviceTable[std::max(CurDevice, 0)];
  if (!settings.secondFile.empty()) {
    EEBuffer.assign(static_cast<size_t>(std::max(device.DevEESize, 0)) + 1, 0);
    if (!LoadHexBuffer(EEBuffer, device.DevEESize, EETop, 0xFF, settings.secondFile)) return false;
    EEName = settings.secondName;
    SecondaryEnabled = true;
  } else if (!settings.keepSecondMemory) {
    SecondaryEnabled = false;
  }
  // The conversion fills the buffers afresh: chosen option bytes go in after it.
  if (!settings.optionBytes.empty()) StoreOptionBytes(settings.optionKind, settings.optionBytes);
  if (SelectedTypeTraits().reversesWords) ReverseImageWords();
  return true;
}

std::string ReplaceImageQuestion(int slot) {
  return "Image " + std::to_string(slot) + " holds \"" + SlotImageName(slot) + "\".\r\nReplace the stored image?";
}
