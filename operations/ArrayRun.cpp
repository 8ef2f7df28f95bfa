#include "operations/ArrayRun.h"

#include <algorithm>

#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "link/LineState.h"
#include "link/Transport.h"
#include "operations/ImageDirectory.h"
#include "operations/PortStatus.h"
#include "operations/ProgramRun.h"
#include "operations/RunLog.h"
#include "operations/RunState.h"
#include "operations/Selection.h"
#include "platform/NumberText.h"
#include "platform/SerialPort.h"
#include "programmers/ProgrammerTypes.h"
#include "programmers/RevisionTables.h"
#include "programmers/SecurityBlock.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/views/ArrayProgramView.h"

namespace {

template <size_t N>
std::string TypeNameIn(const std::array<ProgTypeInfo, N>& table, int type) {
  return type >= 0 && static_cast<size_t>(type) < N ? table[type].TypeName : std::string();
}

// Waits one poll interval, letting events run; false when a cancel was asked for.
bool WaitForNextPass() {
  const int32_t deadline = WrapTick(static_cast<int64_t>(TickCount) + StatusPollTicks);
  while (deadline > TickCount) {
    LetEventsRun();
    if (CancelRequest) return false;
  }
  return true;
}

// Stops every programmer still running; each gets its own CancelProgramming.
void CancelStarted(std::vector<ArrayPanel>& panels, const std::vector<bool>& following) {
  for (size_t i = 0; i < panels.size(); ++i) {
    if (!following[i]) continue;
    const UnitAddressScope unit(panels[i].address);
    CancelProgramming();
    panels[i].cancelled = true;
    panels[i].run.stopped = true;
  }
}

// One run-log record per enabled port of every unit that ran, one for a
// unit whose start was refused, each with its own failure.
void LogArrayRun(std::vector<RunLogEntry>& logs, const std::vector<ArrayPanel>& panels, const std::vector<int>& slots,
                 const std::vector<std::array<bool, 4>>& ports, const ErrorRecordCopy& startFailure,
                 const ErrorRecordCopy& lostFailure) {
  const ErrorRecordCopy outcome;
  for (size_t i = 0; i < panels.size(); ++i) {
    const ArrayPanel& panel = panels[i];
    if (!panel.started && !panel.startFailed) continue;
    RunLogEntry& log = logs[i];
    const int slot = slots[i];
    if (slot >= 1 && slot < static_cast<int>(panel.entries.size()) && panel.entries[slot].Size > 0) {
      const DirEntry& entry = panel.entries[slot];
      log.SetImage(std::string(reinterpret_cast<const char*>(entry.Name.data())).substr(0, 20), "", CrcText(entry.ImageCrc));
    } else {
      log.SetImage("", "", "");
    }
    if (panel.startFailed) {
      startFailure.Restore();
    } else if (panel.lost) {
      lostFailure.Restore();
    } else {
      ClearError();
    }
    for (int port = 0; port < 4 && (panel.started || panel.run.lineLost); ++port) {
      std::string result;
      int32_t code = 0;
      if (ports[i][port] && OutcomeRecord(panel.run, port, result, code)) log.SetPort(port + 1, result, code);
    }
    log.Write();
  }
  outcome.Restore();
}

}  // namespace

uint8_t ArrayPortMask(const std::array<bool, 4>& ports, bool verify, bool sequential) {
  int mask = (sequential ? 1 : 0) * 2 + (verify ? 1 : 0);
  for (int port = 3; port >= 0; --port) mask = mask * 2 + (ports[port] ? 1 : 0);
  return static_cast<uint8_t>(mask);
}

std::string ArrayPanelCaption(int programmer) {
  const ProgrammerRecord& p = ProgrammerTable[programmer];
  std::string model;
  switch (FirmwareGeneration(p.FwRevision)) {
    case 1: model = TypeNameIn(TypeTableV1, p.ProgType); break;
    case 2: model = TypeNameIn(TypeTableV2, p.ProgType); break;
    default: model = TypeNameIn(TypeTableV3, p.ProgType); break;
  }
  return Str(p.Address) + " " + model;
}

void MakeAddressCurrent(uint8_t address) {
  CurrentAddress = address;
  // Units on one line may answer at different speeds.
  if (MSComm1 && !ProgSettings[address].empty()) MSComm1->SetSettings(ProgSettings[address]);
}

UnitAddressScope::UnitAddressScope(uint8_t address) : previous_(CurrentAddress) { MakeAddressCurrent(address); }

UnitAddressScope::~UnitAddressScope() { MakeAddressCurrent(previous_); }

bool PrepareArrayPanel(int programmer, ArrayPanel& panel) {
  ClearError();
  const ProgrammerRecord& p = ProgrammerTable[programmer];
  panel.programmer = programmer;
  panel.address = p.Address;
  panel.caption = ArrayPanelCaption(programmer);
  panel.images.clear();
  panel.entries.fill(DirEntry{});
  panel.securityDamaged = false;
  const UnitAddressScope unit(panel.address);
  std::vector<uint8_t> directory(static_cast<size_t>(p.NumImages) * DirEntryBytes + 1, 0);
  if (p.NumImages > 0 && ReadFlash(DirectoryAddress, p.NumImages * DirEntryBytes, directory.data(), false)) {
    for (int slot = 1; slot <= p.NumImages; ++slot) {
      // An erased entry (size -1) is no image, as in the image manager.
      const DirEntry entry = DecodeDirEntry(&directory[static_cast<size_t>(slot - 1) * DirEntryBytes]);
      if (slot < static_cast<int>(panel.entries.size())) panel.entries[slot] = entry;
      if (entry.Size > 0) panel.images.push_back(slot);
    }
  }
  // Each unit's own block decides, not the selected programmer's.
  bool sealed = true;
  if (!panel.images.empty() && ReadSecurityBlockSealed(sealed)) panel.securityDamaged = !sealed;
  CaptureError();
  panel.prepared = LastErrorNumber == 0;
  return panel.prepared;
}

std::vector<ArrayPanel> OpenArrayProgramming(void (*onFailure)(const ArrayPanel&)) {
  SavedAddress = CurrentAddress;
  std::vector<ArrayPanel> panels;
  const LineOperation operation;
  if (!operation.Taken()) {
    RefuseBusyLine("Array Programming");
    return panels;
  }
  for (int p = 1; p <= ProgCount && p <= MaxProgrammers; ++p) {
    panels.emplace_back();
    if (!PrepareArrayPanel(p, panels.back()) && onFailure) onFailure(panels.back());
  }
  return panels;
}

void RestoreSavedAddress() { MakeAddressCurrent(SavedAddress); }

bool RunArray(ArrayProgramView& view, std::vector<ArrayPanel>& panels, LineUser user) {
  const LineOperation operation(user);
  if (!operation.Taken()) return RefuseBusyLine("Array Programming");
  ClearError();
  ErrorTitle = "Array Programming";
  const bool verify = view.CrcVerify();
  const bool sequential = view.Sequential();
  for (ArrayPanel& panel : panels) {   // the outcome of an earlier run is forgotten
    panel.started = panel.startFailed = panel.lost = panel.cancelled = false;
    panel.status.fill(0);
    panel.portFailed.fill(false);
    panel.run = UnitRun{};
    panel.run.address = panel.address;
    // Status texts name each unit's own second memory, not the selected one's.
    panel.run.secondaryName = TypeTraits(ProgrammerTable[panel.programmer].ProgType).secondaryName;
  }

  // Start-up in panel order; the first refusal ends it.
  std::vector<bool> following(panels.size(), false);
  bool startRefused = false;
  ErrorRecordCopy startFailure;
  std::vector<RunLogEntry> logs;
  std::vector<int> slots(panels.size(), 0);
  std::vector<std::array<bool, 4>> portsOf(panels.size());
  for (size_t i = 0; i < panels.size(); ++i) {
    logs.emplace_back(verify ? "verify" : "program", 0);
    logs.back().SetUnit(panels[i].programmer);
    view.SetPanelEnabled(static_cast<int>(i), false);
    if (!view.ProgrammerEnabled(static_cast<int>(i))) continue;
    ArrayPanel& panel = panels[i];
    std::array<bool, 4>& ports = portsOf[i];
    for (int port = 0; port < 4; ++port) ports[port] = view.PortEnabled(static_cast<int>(i), port);
    slots[i] = view.ChosenImage(static_cast<int>(i));
    panel.run.enabled = ports;
    const int slot = slots[i];
    NoteRunImage(panel.run, slot,
                 slot >= 1 && slot < static_cast<int>(panel.entries.size()) ? panel.entries[slot] : DirEntry{});
    if (startRefused) continue;   // never started: its ports end not run
    logs.back() = RunLogEntry(verify ? "verify" : "program", slots[i]);
    logs.back().SetUnit(panel.programmer);
    const UnitAddressScope unit(panel.address);
    // Even a CRC-verify run is a Program command, which counts devices.
    const bool mayStart = !panel.securityDamaged || RefuseRunOnDamagedBlock("Array Programming");
    const bool portsSet = mayStart && PortsEnable(ArrayPortMask(ports, verify, sequential));
    if (portsSet && Program(slots[i])) {
      panel.started = true;
      panel.run.started = true;
      following[i] = true;
    } else {
      panel.startFailed = true;
      if (portsSet) NoteFailedStart(panel.run);   // Program itself went unanswered or was refused
      startRefused = true;
      startFailure = ErrorRecordCopy();
    }
  }

  view.RunStarted(panels);
  // Every started programmer is followed to its end, even after a refusal.
  std::vector<int> misses(panels.size(), 0);
  std::vector<PortStatusWatch> watches(panels.size());
  bool anyFollowed = std::find(following.begin(), following.end(), true) != following.end();
  ErrorRecordCopy lostFailure;
  bool anyLost = false;
  while (anyFollowed) {
    if (!WaitForNextPass()) {
      CancelStarted(panels, following);
      break;
    }
    anyFollowed = false;
    for (size_t i = 0; i < panels.size(); ++i) {
      if (!following[i]) continue;
      ArrayPanel& panel = panels[i];
      const UnitAddressScope unit(panel.address);
      if (!ReadPortStatus(watches[i], StatusConfirm::AtNextPoll)) {
        // Skipped this pass; a programmer that stays silent is given up and reported.
        if (++misses[i] >= ArrayStatusRetries) {
          following[i] = false;
          panel.lost = true;
          panel.run.lineLost = true;
          panel.run.lostError = LastErrorText;
          anyLost = true;
          lostFailure = ErrorRecordCopy();
        } else {
          anyFollowed = true;
        }
        continue;
      }
      misses[i] = 0;
      const PortStatusWatch& watch = watches[i];
      for (int port = 0; port < 4; ++port) {
        if (!watch.Counted(port)) continue;   // a final state seen once shows at its confirmation
        std::string caption;
        int64_t back = 0, fore = 0;
        bool failed = false;
        PortStatusText(watch.Code(port), panel.run.secondaryName, caption, back, fore, failed);
        panel.status[port] = watch.Code(port);
        panel.portFailed[port] = failed;
        view.SetPortStatus(static_cast<int>(i), port, caption, back, fore);
      }
      TakeStatus(panel.run, watch);
      view.PanelPolled(static_cast<int>(i), panel);
      following[i] = !watch.AllSettled();
      anyFollowed |= following[i];
    }
  }

  for (size_t i = 0; i < panels.size(); ++i) view.SetPanelEnabled(static_cast<int>(i), true);
  for (size_t i = 0; i < panels.size(); ++i) {
    panels[i].run.ended = true;
    // Each port ends in its outcome; one that never reached a final state not in the busy state last read.
    for (int port = 0; port < 4; ++port) {
      std::string caption;
      int64_t back = 0, fore = 0;
      if (OutcomeLabel(panels[i].run, port, caption, back, fore)) {
        view.SetPortStatus(static_cast<int>(i), port, caption, back, fore);
      }
    }
  }
  view.RunFinished(panels);
  // The refused start is what the operator must hear about first.
  if (startRefused) {
    startFailure.Restore();
  } else if (anyLost) {
    lostFailure.Restore();
  } else {
    ClearError();
    ErrorTitle = "Array Programming";
  }
  LogArrayRun(logs, panels, slots, portsOf, startFailure, lostFailure);
  return LastErrorNumber <= 0;
}
