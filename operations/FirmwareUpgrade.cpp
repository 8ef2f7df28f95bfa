#include "operations/FirmwareUpgrade.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "devices/ImageState.h"
#include "images/RexFile.h"
#include "images/RexScramble.h"
#include "link/CommDefs.h"
#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "link/LineState.h"
#include "link/Transport.h"
#include "operations/RunLog.h"
#include "operations/Selection.h"
#include "platform/InputFile.h"
#include "platform/NumberText.h"
#include "platform/SerialPort.h"
#include "programmers/Discovery.h"
#include "programmers/FirmwareArea.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"
#include "state/ProgramFiles.h"
#include "state/SlotContents.h"
#include "state/views/MainWindowView.h"

namespace {

constexpr int32_t ErrNotHwcFile = 1506;
constexpr int32_t ErrVectorOpen = 1511;
constexpr int32_t ErrVectorRead = 1512;
constexpr int32_t ErrVectorTooLarge = 1513;
constexpr int32_t ErrFirmwareRevision = 1520;
constexpr int32_t FirmwareBufferSize = 0x10000;
constexpr int RestartPollTicks = 20;

void Status(const char* key, const std::string& text) {
  if (frmMain) frmMain->SetStatusPanel(key, text);
}

void ClearPanels() {
  Status("ExtStatus2", "");
  Status("ExtStatus1", "");
  Status("Status", "");
}

bool Succeeded() { return LastErrorNumber == 0 || LastErrorNumber == ErrDialogCancelled; }

// `file`: the file the error concerns, named in the report.
bool Fail(int32_t number, const std::string& source, const std::string& description, const std::string& file = "") {
  RaiseError(number, source, description);
  if (!file.empty()) SetErrorContext("reading " + file, file);
  CaptureError();
  return false;
}

void WaitTicks(int ticks) {
  const int32_t deadline = WrapTick(static_cast<int64_t>(TickCount) + ticks);
  while (deadline > TickCount) LetEventsRun();
}

int32_t TicksSince(int32_t start) {
  const int64_t elapsed = static_cast<int64_t>(TickCount) - start;
  return static_cast<int32_t>(elapsed >= 0 ? elapsed : elapsed + TickWrapLimit);
}

// Reads the area back and compares. A difference is read again until two
// reads agree, so a byte flipped on the way back is not taken for bad flash.
bool VerifyArea(int32_t address, const std::vector<uint8_t>& written, const std::string& source,
                const std::string& description) {
  const auto count = static_cast<int32_t>(written.size());
  std::vector<uint8_t> readBack(written.size());
  if (!ReadFlash(address, count, readBack.data(), true)) return false;
  if (readBack == written) return true;
  if (!ConfirmFlashRead(address, count, readBack.data(), true, source.c_str())) return false;
  if (readBack == written) return true;
  return Fail(ErrReadVerify, source, description);
}

// Configuration block bytes from `offset`, written and read back.
bool WriteConfigRecord(int32_t offset, const std::vector<uint8_t>& record) {
  if (!WriteFlashVerified(offset, static_cast<int32_t>(record.size()), record.data())) return false;
  std::copy(record.begin(), record.end(), ConfigBlock.begin() + offset);
  return true;
}

std::vector<uint8_t> SizeAndCrc(int32_t size, const std::array<uint8_t, 2>& crc) {
  return {static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8), crc[0], crc[1]};
}

// Reads FwRev until two answers in a row agree (four reads at most): a
// revision flipped on the way would otherwise be taken for what the unit runs.
bool FwRevConfirmed(std::string& revision) {
  std::string previous;
  if (!FwRev(previous)) return false;
  for (int read = 1; read < 4; ++read) {
    if (!FwRev(revision)) return false;
    if (revision == previous) return true;
    previous = revision;
  }
  return Fail(ErrReadVerify, "Upgrade Firmware", "Firmware Revision Replies Disagree");
}

std::string RevisionText(int major, int minor) {
  char text[16];
  std::snprintf(text, sizeof text, "%d.%03d", major, minor);
  return text;
}

// The revision a firmware image brings: its header ("VRXF", minor, major);
// without one, the type's latest revision from the revisions files; "" when
// neither says.
std::string RevisionOfFirmware(const std::vector<uint8_t>& firmware) {
  if (firmware.size() >= 6 && firmware[0] == 'V' && firmware[1] == 'R' && firmware[2] == 'X' && firmware[3] == 'F') {
    return RevisionText(firmware[5], firmware[4]);
  }
  if (LatestFwRev > 0) return FormatFixed(LatestFwRev, 3);
  return "";
}

// Firmware and HWC writes keep the operator out of the window.
class WindowLock {
 public:
  WindowLock() {
    if (frmMain) frmMain->SetEnabled(false);
  }
  ~WindowLock() {
    ClearPanels();
    if (frmMain) frmMain->SetEnabled(true);
  }
  WindowLock(const WindowLock&) = delete;
  WindowLock& operator=(const WindowLock&) = delete;
};

}  // namespace

bool UpgradeFirmware(int restartLimitTicks) {
  const LineOperation operation;
  if (!operation.Taken()) return RefuseBusyLine("Upgrade Firmware");
  SlotContentsChanged(CurrentAddress, 0);   // the new firmware may keep its images otherwise
  ClearError();
  ErrorTitle = "Upgrade Firmware";
  const WindowLock lock;
  RunLogScope log("firmware", 0);
  log.SetImage(FirmwareFileName, "", "");
  if (FirmwareFileName.empty()) {
    return Fail(ErrFileNotFound, "Upgrade Firmware", "No Firmware File for this Programmer Type");
  }
  if (!LoadRexFile(FirmwareFileName, 0, RexKindFirmware, "Firmware", FirmwareBufferSize)) return false;
  const int32_t size = FlashMap.FirmwareSize;
  // Firmware cut to the area would run as a fragment.
  if (size < 1 || ImageTop >= size) {
    return Fail(ErrAddressRange, "Upgrade Firmware", "Firmware File Larger than the Programmer's Firmware Area",
                ProgramFile("\\" + FirmwareFileName));
  }
  ImageBuffer.resize(static_cast<size_t>(std::max(size, FirmwareBufferSize)), 0);
  const std::vector<uint8_t> firmware(ImageBuffer.begin(), ImageBuffer.begin() + size);

  // From the first block on, the area may hold part of the new firmware: the
  // report says so, whatever broke off the transfer.
  const auto incomplete = [] {
    LastErrorText += std::string("\r\nThe upgrade broke off while the firmware area was being written: ") +
                     FirmwareIncompleteText + ".";
    return false;
  };
  Status("Status", "Loading Programmer Firmware");
  Status("ExtStatus1", "Writing Firmware Image");
  if (!WriteFlash(FlashMap.FirmwareBase, size, firmware.data(), true)) return incomplete();
  Status("ExtStatus1", "Verifying Firmware Image");
  if (!VerifyArea(FlashMap.FirmwareBase, firmware, "Firmware Image Read-Verify", "Read-Verify Error")) {
    return incomplete();
  }
  Status("ExtStatus1", "Performing Firmware Image Crc");
  std::array<uint8_t, 2> crc{};
  if (!CrcFlashConfirmed(FlashMap.FirmwareBase, size, crc)) return incomplete();
  if (!WriteConfigRecord(FirmwareRecordAddress, SizeAndCrc(size, crc))) return incomplete();

  Status("ExtStatus1", "Programming Firmware");
  const std::string expected = RevisionOfFirmware(firmware);
  // A lost or damaged reply does not mean the unit refused: it may be
  // rewriting itself already. The revision it then reports decides.
  const SilenceExpected rewriting;
  if (!LoadFirmware() && expected.empty()) return false;
  // The unit is silent while it rewrites itself; it may never come back.
  const int32_t start = TickCount;
  std::string revision;
  for (;;) {
    WaitTicks(RestartPollTicks);
    if (FwRev(revision)) break;
    if (TicksSince(start) >= restartLimitTicks) {
      return Fail(ErrNoResponse, "Upgrade Firmware", "No Response from Programmer after Loading Firmware");
    }
  }
  WaitTicks(FirmwareSettleTicks);
  ClearError();
  ErrorTitle = "Upgrade Firmware";
  if (!FwRevConfirmed(revision)) return false;
  if (SelectedProgrammer > 0) ProgrammerTable[SelectedProgrammer].FwRevision = revision;
  if (!expected.empty() && revision != expected) {
    return Fail(ErrFirmwareRevision, "Upgrade Firmware",
                "Firmware Not Installed: the programmer now runs " + revision + ", expected " + expected);
  }
  CaptureError();
  return Succeeded();
}

bool LoadHardwareConfiguration() {
  const LineOperation operation;
  if (!operation.Taken()) return RefuseBusyLine("Load Hardware Configuration");
  const WindowLock lock;
  ClearError();
  ErrorTitle = "Load Hardware Configuration";
  RunLogScope log("hwc", 0);
  log.SetImage(HwcFileNames[0], "", "");

  // Every table is read and checked before the first is written, so a bad
  // file leaves the programmer as it was.
  std::vector<std::vector<uint8_t>> tables;
  for (int k = 0; k < static_cast<int>(HwcFileNames.size()) && !HwcFileNames[k].empty(); ++k) {
    const int32_t size = FlashMap.HwcSize[k];
    if (size < 7) {
      return Fail(ErrAddressRange, "Load HWC",
                  "This Programmer Has No Area for Hardware Configuration" + Str(k));
    }
    if (!LoadRexFile(HwcFileNames[k], 0, RexKindHardwareConfiguration, "Hardware Configuration" + Str(k), size)) {
      return false;
    }
    if (ImageBuffer[0] != 0xFF || ImageBuffer[4] != 0x55 || ImageBuffer[5] != 0x99 || ImageBuffer[6] != 0xAA) {
      return Fail(ErrNotHwcFile, "Load HWC", "File is Not a Hardware Configuration File",
                  ProgramFile("\\" + HwcFileNames[k]));
    }
    tables.push_back(ImageBuffer);
  }

  // Where each table's size and CRC go in the configuration block; tables 3
  // and 4 keep only their CRC.
  struct Record {
    int32_t offset;
    bool withSize;
  };
  const Record records[] = {{8, true}, {16, true}, {20, true}, {12, false}, {14, false}};
  for (size_t k = 0; k < tables.size(); ++k) {
    const int32_t base = FlashMap.HwcBase[k];
    const auto size = static_cast<int32_t>(tables[k].size());
    Status("Status", "Programming HWC");
    Status("ExtStatus1", "Writing HWC Data");
    if (!WriteFlash(base, size, tables[k].data(), true)) return false;
    Status("ExtStatus1", "Verifying HWC Data");
    if (!VerifyArea(base, tables[k], "HWC Read Verify", "Read-Verify Error HWC")) return false;
    Status("ExtStatus1", "Performing HWC Crc");
    std::array<uint8_t, 2> crc{};
    if (!CrcFlashConfirmed(base, size, crc)) return false;
    std::vector<uint8_t> record = SizeAndCrc(size, crc);
    if (!records[k].withSize) record.erase(record.begin(), record.begin() + 2);
    if (!WriteConfigRecord(records[k].offset, record)) return false;
  }
  CaptureError();
  return Succeeded();
}

namespace {

struct VectorTexts {
  const char* title;
  const char* source;
  const char* cannotOpen;
  const char* readError;
  const char* tooLarge;
  const char* status;
  const char* verifying;
  const char* verifySource;
};

const VectorTexts Vectors{"Load Vector Information", "Load Vectors", "Can't Open Vector File",
                          "Error Reading Vector File", "Vector File Too Large", "Programming Vector Information",
                          "Verifying Vector Data", "Vector Information Read Verify"};
const VectorTexts ExtendedVectors{"Load Extended Vector Information", "Load Extended Vectors",
                                  "Can't Open Extended Vector File", "Error Reading Extended Vector File",
                                  "Extended Vector File Too Large", "Programming Extended Vector Information",
                                  "Verifying Extended Vector Data", "Extended Vector Information Read Verify"};

// A REX file given where a raw vector table belongs: its text would be
// written as vectors.
bool LooksLikeRexFile(const std::string& contents) {
  if (contents.empty() || contents[0] != 'R') return false;
  const size_t lineEnd = contents.find('\n');
  if (lineEnd == std::string::npos || contents.size() < lineEnd + 10) return false;
  if (contents[lineEnd + 1] != ':') return false;
  return std::all_of(contents.begin() + static_cast<std::ptrdiff_t>(lineEnd) + 2,
                     contents.begin() + static_cast<std::ptrdiff_t>(lineEnd) + 10,
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

bool LoadVectorTable(const VectorTexts& texts, const std::string& fileName, int32_t base, int32_t areaSize) {
  const LineOperation operation;
  if (!operation.Taken()) return RefuseBusyLine(texts.title);
  ClearError();
  if (fileName.empty()) return true;
  RunLogScope log(&texts == &ExtendedVectors ? "extended-vectors" : "vectors", 0);
  log.SetImage(fileName, "", "");
  ErrorTitle = texts.title;
  LastFunction = texts.title;
  struct PanelsCleared {
    ~PanelsCleared() { ClearPanels(); }
  } panels;

  std::string contents, reason;
  const std::string path = ProgramFile("\\" + fileName);
  const int32_t openError = CheckInputFile(path, reason);
  if (openError == ErrFileFormat) return Fail(ErrVectorTooLarge, texts.source, texts.tooLarge, path);
  if (openError != 0) return Fail(ErrVectorOpen, texts.source, texts.cannotOpen, path);
  if (ReadInputFile(path, contents, reason) != 0) return Fail(ErrVectorRead, texts.source, texts.readError, path);
  if (static_cast<int64_t>(contents.size()) > areaSize) return Fail(ErrVectorTooLarge, texts.source, texts.tooLarge, path);
  // An empty table is a file lost on the way, and a REX file is not a table.
  if (contents.empty() || LooksLikeRexFile(contents)) return Fail(ErrVectorRead, texts.source, texts.readError, path);
  ImageBuffer.assign(contents.begin(), contents.end());
  const std::vector<uint8_t> table = ImageBuffer;

  Status("Status", texts.status);
  Status("ExtStatus1", "Downloading");
  if (!WriteFlash(base, static_cast<int32_t>(table.size()), table.data(), true)) return false;
  Status("ExtStatus1", texts.verifying);
  if (!VerifyArea(base, table, texts.verifySource, "Read-Verify Error")) return false;
  CaptureError();
  return Succeeded();
}

}  // namespace

bool LoadVectorInformation() {
  return LoadVectorTable(Vectors, VectorFileName, FlashMap.VectorBase, FlashMap.VectorSize);
}

bool LoadExtendedVectorInformation() {
  return LoadVectorTable(ExtendedVectors, VectorFileName2, FlashMap.Vector2Base, FlashMap.Vector2Size);
}

bool UpgradeProgrammer() {
  const LineOperation operation;
  if (!operation.Taken()) return RefuseBusyLine("Upgrade Firmware");
  // The file set being installed; a factory choice names another type's, and
  // selecting again copies the unit's own type record.
  const auto hwcFiles = HwcFileNames;
  const std::string vectorFile = VectorFileName, vectorFile2 = VectorFileName2;
  if (!UpgradeFirmware()) return false;
  // The new firmware may be of another generation with another flash map:
  // the tables go where it says, never where the old one did.
  if (!ReselectProgrammer()) return false;
  HwcFileNames = hwcFiles;
  VectorFileName = vectorFile;
  VectorFileName2 = vectorFile2;
  return LoadHardwareConfiguration() && LoadVectorInformation() && LoadExtendedVectorInformation();
}

namespace {

bool RunUpgradeJob(UpgradeJob job) {
  switch (job) {
    case UpgradeJob::Programmer: return UpgradeProgrammer();
    case UpgradeJob::Firmware: return UpgradeFirmware();
    case UpgradeJob::HardwareConfiguration: return LoadHardwareConfiguration();
    case UpgradeJob::Vectors: return LoadVectorInformation();
    case UpgradeJob::ExtendedVectors: return LoadExtendedVectorInformation();
  }
  return false;
}

// The scan of `scope`; the programmer at `address` is the one selected after
// it when it answers. False when the scan found nobody there to select.
bool ScanAgain(RescanScope scope, int address) {
  if (scope == RescanScope::Address) {
    // As the scan entry does: the old selection is gone with the old table.
    SelectedProgrammer = 0;
    ProgType = 0;
    if (!AcquireProgrammerAt(address)) return false;
  } else if (!RescanProgrammers(address)) {
    return false;
  }
  // The windows' image manager selects as it opens; elsewhere it is done here.
  if (SelectedProgrammer == 0) SelectProgrammer();
  return true;
}

}  // namespace

bool UpgradeQuestion(std::string& question) {
  ClearError();
  ErrorTitle = "Upgrade Firmware";
  if (SelectedProgrammer < 1 || SelectedProgrammer > ProgCount) {
    return Fail(ErrNoneSelected, "Upgrade Firmware", "No Programmer Selected");
  }
  if (FirmwareFileName.empty()) {
    return Fail(ErrFileNotFound, "Upgrade Firmware", "No Firmware File for this Programmer Type");
  }
  const ProgrammerRecord& unit = ProgrammerTable[SelectedProgrammer];
  // Read only for the revision it brings: the image buffer is the user's.
  const std::vector<uint8_t> keptBuffer = ImageBuffer;
  const int32_t keptTop = ImageTop;
  const bool read = LoadRexFile(FirmwareFileName, 0, RexKindFirmware, "Firmware", FirmwareBufferSize);
  const std::string brings = read ? RevisionOfFirmware(ImageBuffer) : "";
  ImageBuffer = keptBuffer;
  ImageTop = keptTop;
  ClearPanels();
  if (!read) return false;
  question = "Upgrade the firmware of the programmer at address " + std::to_string(unit.Address) + " (" +
             (ProgTypeName.empty() ? "type " + std::to_string(unit.ProgType) : ProgTypeName) + ")?\r\n" +
             "It runs revision " + unit.FwRevision + "; " + FirmwareFileName + " brings " +
             (brings.empty() ? std::string("a revision it does not name") : "revision " + brings) + ".\r\n" +
             "Its hardware configuration and vector tables are written again after it.\r\n" +
             "Keep the programmer powered and connected until the upgrade has finished.";
  ClearError();
  return true;
}

std::string UpgradeFinishedMessage(int address) {
  std::string text = "The firmware upgrade of the programmer at address " + std::to_string(address) + " has finished.";
  if (SelectedProgrammer >= 1 && SelectedProgrammer <= ProgCount &&
      ProgrammerTable[SelectedProgrammer].Address == address) {
    text += "\r\nIt runs revision " + ProgrammerTable[SelectedProgrammer].FwRevision + " now.";
  }
  return text;
}

bool UpgradeAndRescan(UpgradeJob job, RescanScope scope) {
  const LineOperation operation;
  if (!operation.Taken()) return RefuseBusyLine("Upgrade Firmware");
  const int address =
      SelectedProgrammer >= 1 && SelectedProgrammer <= ProgCount ? ProgrammerTable[SelectedProgrammer].Address : 0;
  const bool upgraded = RunUpgradeJob(job);
  // A port that is closed has no line to scan.
  if (address == 0 || !MSComm1 || !MSComm1->IsOpen()) return upgraded;
  const ErrorRecordCopy outcome;
  const bool scanned = ScanAgain(scope, address);
  if (upgraded) return scanned;
  // The job's failure is what the report tells, not the scan's.
  outcome.Restore();
  return false;
}
