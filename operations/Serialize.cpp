#include "operations/Serialize.h"

#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "operations/RunLog.h"
#include "operations/RunState.h"
#include "options/SerialState.h"
#include "options/Serialization.h"
#include "programmers/UnitState.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"

bool WriteSlotSerialization(int imageIndex, const SerialRecord& record) {
  return !SerialSupported || WriteSerialization(imageIndex, record);
}

bool WriteSlotSerializationVerified(int imageIndex, const SerialRecord& record) {
  return !SerialSupported || WriteSerializationVerified(imageIndex, record);
}

bool WriteSerializationSettings(int imageIndex) { return WriteSlotSerialization(imageIndex, SerialSettingsRecord()); }

bool ReadImageSerialization(int image) {
  const LineOperation operation;
  if (!operation.Taken()) return RefuseBusyLine("View Serialization");
  ClearError();
  ErrorTitle = "View Serialization";
  SerialRecord record;
  if (!ReadSerialization(image - 1, record)) return false;
  TakeSerialSettings(record);
  return true;
}

bool ReadRunSerials(int image, bool& active) {
  active = false;
  const LineOperation operation;
  if (!operation.Taken()) return RefuseBusyLine("Program Image");
  ClearError();
  ErrorTitle = "Program Image";
  SerialRecord record;
  if (!ReadSerialization(image - 1, record)) return false;
  TakeSerialSettings(record);
  active = SerialMemory != SerialOff;
  if (!active) return true;
  RunLogScope log("serial", image);
  std::array<std::string, 4> serials;
  if (!GetLastSerials(serials)) return false;
  LastSerials = serials;
  // The numbers the ports that ended "Done" took; the others took none.
  for (int port = 0; port < 4; ++port) {
    if (RunPortsDone[port]) log.SetPort(port + 1, "Done", 0, LastSerialText(LastSerials[port], SerialSize(SerialFormat)));
  }
  return true;
}
