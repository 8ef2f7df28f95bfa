#include "operations/Serialize.h"

#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "options/Serialization.h"
#include "state/LineGuard.h"
#include "state/PublicVars.h"

bool ReadImageSerialization(int image) {
  const LineOperation operation;
  if (!operation.Taken()) return RefuseBusyLine("View Serialization");
  ClearError();
  ErrorTitle = "View Serialization";
  return ReadSerialization(image - 1);
}

bool ReadRunSerials(int image, bool& active) {
  active = false;
  const LineOperation operation;
  if (!operation.Taken()) return RefuseBusyLine("Program Image");
  ClearError();
  ErrorTitle = "Program Image";
  if (!ReadSerialization(image - 1)) return false;
  active = SerialMemory != SerialOff;
  return !active || GetLastSerials();
}
