#include "operations/Serialize.h"

#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "operations/RunLog.h"
#include "operations/RunState.h"
#include "options/SerialState.h"
#include "options/Serialization.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"

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
  if (!active) return true;
  RunLogScope log("serial", image);
  if (!GetLastSerials()) return false;
  // The numbers the ports that ended "Done" took; the others took none.
  for (int port = 0; port < 4; ++port) {
    if (RunPortsDone[port]) log.SetPort(port + 1, "Done", 0, LastSerialText(LastSerials[port], SerialSize(SerialFormat)));
  }
  return true;
}
