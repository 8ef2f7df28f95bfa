#include "operations/ImageDownload.h"

#include <algorithm>
#include <string>

#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "link/CommDefs.h"
#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "link/LineState.h"
#include "operations/ImageDirectory.h"
#include "operations/Serialize.h"
#include "options/FuseState.h"
#include "programmers/ProgrammerTypes.h"
#include "programmers/SecurityBlock.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"
#include "state/SlotContents.h"
#include "state/views/MainWindowView.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The sum of the bytes, sixteen at a time: it runs over the whole flash on
// every load and every convert.
uint32_t ByteSum(const uint8_t* data, size_t size) {
  uint32_t sum = 0;
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  __m128i sums = zero;
  for (; i + 16 <= size; i += 16) {
    sums = _mm_add_epi64(sums, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i)), zero));
  }
  sum = static_cast<uint32_t>(_mm_cvtsi128_si64(sums) + _mm_cvtsi128_si64(_mm_srli_si128(sums, 8)));
#endif
  for (; i < size; ++i) sum += data[i];
  return sum;
}

const DeviceRecord& Device() { return DeviceTable[std::max(CurDevice, 0)]; }

void Status(const char* key, const std::string& text) { frmMain->SetStatusPanel(key, text); }

// Reads an area back and compares it with what was written.
bool VerifyArea(int32_t address, int32_t count, const std::vector<uint8_t>& written, std::vector<uint8_t>& readBack,
                const std::string& source, bool sumIntoChecksum) {
  if (!ReadFlash(address, count, readBack.data(), true)) return false;
  uint32_t sum = static_cast<uint32_t>(EntireImageChecksum);
  for (int32_t i = 0; i < count; ++i) {
    if (written[i] != readBack[i]) {
      RaiseError(ErrReadVerify, source, "Read-Verify Error");
      CaptureError();
      return false;
    }
    sum += written[i];
  }
  if (sumIntoChecksum) EntireImageChecksum = static_cast<int32_t>(sum);
  return true;
}

// Both PSoC areas: the configuration area up to PSoCConfigTop and the extended area.
bool LoadExtendedAreas(int32_t slotAddress, int32_t configOffset, int32_t extendedOffset, int32_t extendedBytes) {
  Status("ExtStatus1", "Loading Extended Data");
  bool ok = true;
  for (auto [offset, count] : {std::pair{configOffset, PSoCConfigTop + 1}, std::pair{extendedOffset, extendedBytes}}) {
    if (offset + count > static_cast<int32_t>(ImageBuffer.size())) count = static_cast<int32_t>(ImageBuffer.size()) - offset;
    const std::vector<uint8_t> area(ImageBuffer.begin() + offset, ImageBuffer.begin() + offset + std::max(count, 0));
    uint32_t sum = static_cast<uint32_t>(EntireImageChecksum);
    for (uint8_t b : area) sum += b;
    EntireImageChecksum = static_cast<int32_t>(sum);
    if (!WriteFlashVerified(slotAddress + offset, static_cast<int32_t>(area.size()), area.data())) {
      ok = false;
      break;
    }
  }
  Status("Status", "");
  return ok;
}

}  // namespace

namespace {

bool IsPSoCExtendedFamily(const std::string& family) {
  return family == "PSoC5" || family == "PSoC5LP" || family == "PSoC4" || family == "GEN4" || family == "GEN5" ||
         family == "GEN6" || family == "CapSense";
}

// The sum LoadExtendedAreas adds for one area, clipped as it clips it.
uint32_t ExtendedAreaSum(int32_t offset, int32_t count) {
  if (offset + count > static_cast<int32_t>(ImageBuffer.size())) count = static_cast<int32_t>(ImageBuffer.size()) - offset;
  uint32_t sum = 0;
  for (int32_t i = 0; i < count; ++i) sum += ImageBuffer[static_cast<size_t>(offset + i)];
  return sum;
}

}  // namespace

int32_t DownloadChecksum() {
  const int32_t flashSize = std::min<int32_t>(Device().DevFlashSize, static_cast<int32_t>(ImageBuffer.size()));
  uint32_t sum = ByteSum(ImageBuffer.data(), static_cast<size_t>(std::max(flashSize, 0)));
  if (SelectedTypeTraits().carriesExtData) {
    const std::string& family = FamilyList[CurFamily];
    if (family == "PSoC3") {
      sum += ExtendedAreaSum(0x20000, PSoCConfigTop + 1) + ExtendedAreaSum(0x24000, 1536);
    } else if (IsPSoCExtendedFamily(family)) {
      sum += ExtendedAreaSum(0x40000, PSoCConfigTop + 1) + ExtendedAreaSum(0x48000, 1540);
    }
  }
  return static_cast<int32_t>(sum);
}

bool LoadPSoC3ExtendedData(int32_t slotAddress) { return LoadExtendedAreas(slotAddress, 0x20000, 0x24000, 1536); }

bool LoadPSoCExtendedData(int32_t slotAddress) { return LoadExtendedAreas(slotAddress, 0x40000, 0x48000, 1540); }

namespace {

// Whole UTF-8 text with at least one multi-byte character; ANSI names
// with letters above 0x7F are almost never that.
bool IsMultiByteUtf8(const std::string& text) {
  bool multiByte = false;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<uint8_t>(text[i]);
    size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    else if (lead >= 0x80) return false;
    if (i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<uint8_t>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    multiByte = multiByte || length > 1;
    i += length;
  }
  return multiByte;
}

}  // namespace

std::string DirectoryName(const std::string& name) {
  size_t cut = std::min(name.size(), static_cast<size_t>(ImageNameLength));
  if (cut < name.size() && IsMultiByteUtf8(name)) {
    while (cut > 0 && (static_cast<uint8_t>(name[cut]) & 0xC0) == 0x80) --cut;
  }
  std::string entry = name.substr(0, cut);
  entry.resize(ImageNameLength, ' ');
  return entry;
}

std::array<uint8_t, 32> BuildDirEntry(const std::array<uint8_t, 2>& crc) {
  const DeviceRecord& device = Device();
  std::array<uint8_t, 32> entry{};
  const auto size = static_cast<uint32_t>(device.DevFlashSize);
  for (int i = 0; i < 4; ++i) entry[i] = static_cast<uint8_t>(size >> (8 * i));
  entry[4] = crc[0];
  entry[5] = crc[1];
  entry[6] = static_cast<uint8_t>(device.DevId);
  entry[7] = ImageVoltage;
  const std::string name = DirectoryName(ImageName);
  std::copy(name.begin(), name.end(), entry.begin() + 8);
  entry[28] = static_cast<uint8_t>(ImageMode);
  entry[29] = static_cast<uint8_t>((CurFamily & 0xFF) + (device.DevId & 0x300) / 4);
  if (SelectedTypeTraits().hasTargetClock) {
    entry[30] = static_cast<uint8_t>(ImageFreq);
    entry[31] = static_cast<uint8_t>(static_cast<uint16_t>(ImageFreq) >> 8);
  }
  return entry;
}

std::array<uint8_t, 13> BuildAvrOptionRecord() {
  std::array<uint8_t, 13> r{};
  r[0] = OsccalOpt;
  for (int i = 0; i < 4; ++i) r[1 + i] = static_cast<uint8_t>(static_cast<uint32_t>(OsccalAddress) >> (8 * i));
  if (SelectedTypeTraits().optionRecord == OptionRecord::Avr32) {
    for (int i = 0; i < 4; ++i) r[5 + i] = FuseValues[i];
    std::fill(r.begin() + 9, r.end(), 0xFF);
  } else if (FamilyList[CurFamily] == "ATxmega AVR") {
    for (int i = 0; i < 7; ++i) r[5 + i] = FuseValues[1 + i];
    r[12] = FuseValues[0];
  } else {
    r[5] = FuseValues[1];
    r[6] = FuseValues[2];
    r[7] = FuseValues[3];
    r[8] = FuseValues[0];
    r[9] = static_cast<uint8_t>(JtagPart);
    r[10] = static_cast<uint8_t>(JtagPart >> 8);
    r[11] = JtagVersion & 0x0F;
    r[12] = 0xFF;   // unused by these families: erased value
  }
  return r;
}

std::vector<uint8_t> BuildPageMap() {
  const DeviceRecord& device = Device();
  std::vector<uint8_t> map(static_cast<size_t>(std::max(FlashMap.PageMapSize, 0)) + 1, 0);
  const int32_t pageSize = (device.DevFlags & 1) ? 512 : 256;
  const bool osccalProtected = ProgType == 6 && (OsccalOpt & 0x20) && (OsccalOpt & 0x0F) != 0;
  const int32_t last = std::min<int32_t>(device.DevFlashSize, static_cast<int32_t>(ImageBuffer.size()));
  for (int32_t i = 0; i < last; ++i) {
    const size_t page = static_cast<size_t>(i / pageSize);
    if (page / 8 >= map.size()) break;
    if (ImageBuffer[i] != device.DevBlank || (osccalProtected && i == OsccalAddress)) {
      map[page / 8] |= static_cast<uint8_t>(1u << (page % 8));
    }
  }
  return map;
}

bool CompleteDirEntry(int32_t entryAddress, int32_t count, const uint8_t* entry) {
  if (WriteFlashVerified(entryAddress, count, entry)) return true;
  const ErrorRecordCopy failure;
  const std::string title = ErrorTitle;
  // A lost reply or a flipped read-back: the entry may well be in place.
  std::vector<uint8_t> stored(static_cast<size_t>(count));
  if (ReadFlashConfirmed(entryAddress, count, stored.data())) {
    if (std::equal(stored.begin(), stored.end(), entry)) {
      ClearError();
      ErrorTitle = title;
      return true;
    }
    const std::array<uint8_t, 4> noSize{};
    WriteFlashVerified(entryAddress, static_cast<int32_t>(noSize.size()), noSize.data());
  }
  failure.Restore();
  return false;
}

bool LoadNewDeviceImage(bool readProtect, int32_t imageCount, const std::optional<SerialRecord>& serialization) {
  const LineOperation operation;
  if (!operation.Taken()) return RefuseBusyLine("Load Target Image");
  SlotContentsChanged(CurrentAddress, ImageNumber);
  ClearError();
  ErrorTitle = "Load New Device Image";
  const DeviceRecord& device = Device();
  const int32_t slotSize = ProgrammerTable[SelectedProgrammer].SlotSize;
  const int32_t flashSize = device.DevFlashSize;
  std::vector<uint8_t> readBack(static_cast<size_t>(std::max({flashSize, device.DevEESize, device.DevAuxSize, 0})));
  const int32_t slotAddress = (ImageNumber - 1) * slotSize + FlashMap.ImageBase;

  auto finish = [] {
    Status("ExtStatus2", "");
    Status("ExtStatus1", "");
    Status("Status", "");
    return LastErrorNumber == 0 || LastErrorNumber == ErrDialogCancelled;
  };
  auto failWith = [&finish](int32_t number, const std::string& source, const std::string& text) {
    RaiseError(number, source, text);
    CaptureError();
    return finish();
  };

  if (ImageNumber < 1 || ImageNumber > SlotCount()) {
    return failWith(6, "Load Target Image", "Invalid Image Selection");
  }
  if (flashSize < ImageTop) {
    return failWith(ErrImageRange, "Load Target Image",
                    "Image File Contains Data Outside the Address Range of the Selected Part");
  }
  // The programmer would place the rest of a larger image in the next slot.
  if (flashSize > slotSize || static_cast<size_t>(flashSize) > ImageBuffer.size()) {
    return failWith(ErrImageRange, "Load Target Image", "Image is Larger than the Programmer's Image Slot");
  }

  // Until the slot's own records are written, the operator's Cancel stops the
  // download between two blocks: before the slot is marked empty nothing is
  // written, after that the slot stays empty.
  CancellableTransfers cancellable;
  // Protection and counts of every slot are written back at the end: they are
  // read now, and a failed read stops the load before anything is written.
  SecurityUpdate securityUpdate;
  if (!securityUpdate.Begin()) return finish();
  // Marked empty before its data is overwritten: a load that fails midway
  // leaves an empty slot, never the old name over new data.
  const int32_t entryAddress = DirectoryAddress + (ImageNumber - 1) * DirEntryBytes;
  const std::array<uint8_t, 4> noSize{};
  if (!WriteFlashVerified(entryAddress, static_cast<int32_t>(noSize.size()), noSize.data())) return finish();

  Status("Status", "Writing New Image to Programmer");
  Status("ExtStatus1", "Loading Image Data");
  if (!WriteFlash(slotAddress, flashSize, ImageBuffer.data(), true)) return finish();
  Status("ExtStatus1", "Verifying Image Data");
  EntireImageChecksum = 0;
  if (!VerifyArea(slotAddress, flashSize, ImageBuffer, readBack, "Image Read Verify", true)) return finish();

  Status("ExtStatus1", "Performing Image Crc");
  std::array<uint8_t, 2> crc{};
  if (!CrcFlashConfirmed(slotAddress, flashSize, crc)) return finish();

  if (SelectedTypeTraits().carriesExtData) {
    const std::string& family = FamilyList[CurFamily];
    bool ok = true;
    if (family == "PSoC3") {
      ok = LoadPSoC3ExtendedData(slotAddress);
    } else if (IsPSoCExtendedFamily(family)) {
      ok = LoadPSoCExtendedData(slotAddress);
    } else {
      ok = WriteFlashVerified(ImageNumber * 256, 256, ExtData.data());
    }
    if (!ok) return finish();
  }

  if (SelectedTypeTraits().slotDataAreas) {
    EEBuffer.resize(std::max(EEBuffer.size(), static_cast<size_t>(std::max(device.DevEESize, 0))));
    AuxBuffer.resize(std::max(AuxBuffer.size(), static_cast<size_t>(std::max(device.DevAuxSize, 0))));
    Status("ExtStatus1", "Loading Data Flash Image");
    if (!WriteFlash(slotAddress + 0x40000, device.DevEESize, EEBuffer.data(), true)) return finish();
    Status("ExtStatus1", "Verifying Data Flash Image");
    if (!VerifyArea(slotAddress + 0x40000, device.DevEESize, EEBuffer, readBack, "Image Read Verify", false)) {
      return finish();
    }
    Status("ExtStatus1", "Loading Loader Flash Image");
    if (!WriteFlash(slotAddress + 0x50000, device.DevAuxSize, AuxBuffer.data(), true)) return finish();
    Status("ExtStatus1", "Verifying Loader Flash Image");
    if (!VerifyArea(slotAddress + 0x50000, device.DevAuxSize, AuxBuffer, readBack, "Image Read Verify", false)) {
      return finish();
    }
    if (!WriteFlashVerified(slotAddress + 0x60000, NumFuseBytes + 1, FuseValues.data())) return finish();
  }

  if (SecondaryEnabled) {
    if (device.DevEESize < EETop) {
      return failWith(ErrImageRange, "Load Target Image",
                      SecondaryName + " File Contains Data Outside the Address Range of the Selected Part");
    }
    EEBuffer.resize(std::max(EEBuffer.size(), static_cast<size_t>(std::max(device.DevEESize, 0))));
    const int32_t eeAddress = (ImageNumber - 1) * FlashMap.EESlotSize + FlashMap.EEBase;
    Status("Status", "Writing " + SecondaryName + " Image to Programmer");
    Status("ExtStatus1", "Loading Image Data");
    if (!WriteFlash(eeAddress, device.DevEESize, EEBuffer.data(), true)) return finish();
    Status("ExtStatus1", "Verifying Image Data");
    if (!VerifyArea(eeAddress, device.DevEESize, EEBuffer, readBack, SecondaryName + " Image Read Verify", false)) {
      return finish();
    }
    const std::string name = DirectoryName(EEName);
    if (!WriteFlashVerified(FlashMap.EENameBase + (ImageNumber - 1) * 32, ImageNameLength,
                            reinterpret_cast<const uint8_t*>(name.data()))) {
      return finish();
    }
  }

  if (SelectedTypeTraits().optionRecord != OptionRecord::None) {
    const std::array<uint8_t, 13> record = BuildAvrOptionRecord();
    if (!WriteFlashVerified(ImageNumber * 256, 13, record.data())) return finish();
  }

  if (SelectedTypeTraits().writesPageMap) {
    const std::vector<uint8_t> pageMap = BuildPageMap();
    if (!WriteFlashVerified(FlashMap.PageMapBase + (ImageNumber - 1) * FlashMap.PageMapSize, FlashMap.PageMapSize,
                            pageMap.data())) {
      return finish();
    }
  }

  // The security block holds every slot's protection and count: once it is
  // under way nothing stops it halfway.
  if (!cancellable.End()) return finish();

  // The slot's serialization record and security entry, then its directory
  // entry: the entry makes the slot usable, so it is the last write, and it
  // names the image only once every record of it verified.
  if (serialization && !WriteSlotSerializationVerified(ImageNumber - 1, *serialization)) return finish();
  ImageSecurityEntry& security = ImageSecurity[ImageNumber - 1];
  security.Count = imageCount;
  security.Flags = static_cast<uint8_t>((security.Flags & ~1u) | (readProtect ? 1u : 0u));
  if (!securityUpdate.Commit()) return finish();

  if (ProgType == 1 && HasSection9020) ImageMode = static_cast<int16_t>(ImageMode + 128);
  const std::array<uint8_t, 32> entry = BuildDirEntry(crc);
  CompleteDirEntry(entryAddress, DirEntryBytes, entry.data());
  return finish();
}
