#include "programmers/Discovery.h"

#include <iterator>

#include "link/CommDefs.h"
#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "link/LineState.h"
#include "link/Transport.h"
#include "platform/NumberText.h"
#include "platform/SerialPort.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"
#include "state/SlotContents.h"
#include "state/views/MainWindowView.h"

const char* const LineSettings[2] = {"38400,n,8,1", "115200,n,8,1"};

namespace {

// Opens the port chosen in the port list; on failure records why and leaves
// no programmers listed.
bool OpenCommPort() {
  MSComm1->SetCommPort(frmMain->SelectedCommPort());
  int32_t openError = 0;
  std::string openErrorText;
  if (MSComm1->Open(openError, openErrorText)) {
    MSComm1->SetRThreshold(1);
    return true;
  }
  LastFunction = "Open Communications Port";
  RaiseError(openError, "Scan for Programmers", "Error Opening Communications Port - " + openErrorText);
  CaptureError();
  frmMain->SetStatusPanel("Status", Err.Description);
  // Programmers of an earlier scan are not reachable without the port.
  frmMain->ClearProgrammerList();
  ProgCount = 0;
  frmMain->SetPortListEnabled(true);
  MSComm1->Close();
  return false;
}

// Asks one address at one line speed; lists the programmer when it answers
// FwRev and its configuration can be read.
bool ProbeProgrammer(int address, const char* settings) {
  MSComm1->SetSettings(settings);
  ProgrammerRecord& entry = ProgrammerTable[ProgCount + 1];
  if (!FwRev(entry.FwRevision)) return false;
  if (!ReadProgrammerConfig(entry)) return false;
  frmMain->AddProgrammerItem("P" + Str(address), "VRX:Addr=" + Str(address), "Programmer");
  ++ProgCount;
  ProgSettings[address] = settings;
  return true;
}

// " at 38400 and 115200 bit/s": the line speeds every probe tries.
std::string SpeedsTried() {
  std::string text = " at ";
  for (size_t i = 0; i < std::size(LineSettings); ++i) {
    if (i > 0) text += i + 1 == std::size(LineSettings) ? " and " : ", ";
    const std::string settings = LineSettings[i];
    text += settings.substr(0, settings.find(','));
  }
  return text + " bit/s";
}

}  // namespace

int32_t SlotSizeFromCode(uint8_t code) {
  int32_t kib = code;
  if (code == 0) kib = 256;
  if (code == 1) kib = 512;
  return kib * 1024;
}

bool ReadProgrammerConfig(ProgrammerRecord& entry) {
  ClearError();
  ErrorTitle = "Read Programmer Configuration";
  if (!ReadFlash(0, static_cast<int32_t>(ConfigBlock.size()), ConfigBlock.data(), false)) return false;
  entry.Address = CurrentAddress;
  entry.ProgType = ConfigBlock[30];
  entry.NumImages = ConfigBlock[29];
  entry.SlotSize = SlotSizeFromCode(ConfigBlock[28]);
  return true;
}

bool AcquireProgrammers(int selectAddress) {
  SlotContentsChanged(0, 0);   // whatever answers now may hold other images
  frmMain->CloseImageManager();
  frmMain->SetPortListEnabled(false);
  ClearError();
  ErrorTitle = "Acquire Programmers";

  if (!OpenCommPort()) return false;
  frmMain->SetProgressValue(0);
  frmMain->SetProgressVisible(true);
  frmMain->SetStatusPanel("Status", "Acquiring Programmers");
  frmMain->ClearProgrammerList();
  ProgCount = 0;

  for (int address = 1; address <= MaxProgrammers; ++address) {
    CurrentAddress = static_cast<uint8_t>(address);
    frmMain->SetProgressValue(address * 100 / MaxProgrammers);
    for (const char* settings : LineSettings) {
      // A unit answering at both speeds takes two entries: the table may fill up early.
      if (ProgCount >= MaxProgrammers) break;
      ProbeProgrammer(address, settings);
    }
  }

  frmMain->SetProgressVisible(false);
  frmMain->SetStatusPanel("Status", "Found" + Str(ProgCount) + " Programmers");
  if (ProgCount >= 1) {
    NoteLineBack();
    int item = 1;
    for (int i = ProgCount; i >= 1; --i) {
      if (ProgrammerTable[i].Address == selectAddress) item = i;
    }
    frmMain->SelectProgrammerItem(item);
    frmMain->ShowImageManager();
  }
  return true;
}

bool RescanProgrammers(int selectAddress) {
  const LineOperation operation;
  if (!operation.Taken()) return RefuseBusyLine("Scan for Programmers");
  SelectedProgrammer = 0;
  ProgType = 0;
  // On failure the port's own reason, not "No Programmers Found": nobody was asked.
  if (!AcquireProgrammers(selectAddress)) return false;
  if (ProgCount >= 1) {
    frmMain->SetArrayProgrammingEnabled(true);
    ClearError();
    return true;
  }
  RaiseError(ErrNoProgrammers, "Image Manager", "No Programmers Found");
  SetErrorContext(PortTried() + ", addresses 1 to " + std::to_string(MaxProgrammers) + SpeedsTried(),
                  PortSubject());
  CaptureError();
  MSComm1->Close();
  frmMain->SetPortListEnabled(true);
  return false;
}

void ScanProgrammers() {
  const LineOperation operation;
  if (!operation.Taken()) {
    RefuseBusyLine("Scan for Programmers");
    return;
  }
  if (!RescanProgrammers(0)) ShowErrorReport();
}

bool AcquireProgrammerAt(int address) {
  const LineOperation operation;
  if (!operation.Taken()) return RefuseBusyLine("Acquire Programmers");
  SlotContentsChanged(static_cast<uint8_t>(address), 0);
  ClearError();
  ErrorTitle = "Acquire Programmers";
  if (!OpenCommPort()) return false;
  frmMain->ClearProgrammerList();
  ProgCount = 0;
  CurrentAddress = static_cast<uint8_t>(address);
  for (const char* settings : LineSettings) {
    if (ProbeProgrammer(address, settings)) break;
  }
  if (ProgCount == 0) {
    RaiseError(ErrNoProgrammers, "Image Manager", "No Programmers Found");
    SetErrorContext(PortTried() + ", address " + std::to_string(address) + SpeedsTried(), PortSubject());
    CaptureError();
    return false;
  }
  frmMain->SelectProgrammerItem(1);
  NoteLineBack();
  ClearError();
  return true;
}
