#include "operations/Configure.h"

#include "link/ErrorRecord.h"
#include "operations/RunLog.h"
#include "platform/NumberText.h"
#include "state/LineGuard.h"

bool SaveProgrammerDefaults(int option, const ProgrammerDefaults& defaults) {
  // A refused start did nothing and leaves no record.
  const LineOperation operation;
  if (!operation.Taken()) return RefuseBusyLine("Set Defaults");
  RunLogScope log(IsAteOption(option) ? "ate-option" : "defaults", defaults.imageNumber);
  return WriteProgrammerDefaults(option, defaults);
}

AddressChange ChangeProgrammerAddress(int newAddress) {
  const LineOperation operation;
  if (!operation.Taken()) {
    RefuseBusyLine("Set Address");
    return AddressChange::Failed;
  }
  RunLogScope log("address", 0);
  const AddressChange change = SetProgrammerAddress(newAddress);
  log.SetOutcome((change == AddressChange::Conflict ? "Address in use:" : "Moved to") + Str(newAddress));
  return change;
}
