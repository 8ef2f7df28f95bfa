// The serialization record of a stored image, read from the programmer, and
// the serial numbers a run wrote on the ports.
#pragma once

#include <array>
#include <string>

#include "link/SerialRecord.h"

// WriteSerialization(Verified) for the selected programmer: one without
// serialization (SerialSupported False) takes no record, so nothing is sent
// and the answer is True.
bool WriteSlotSerialization(int imageIndex, const SerialRecord& record);
bool WriteSlotSerializationVerified(int imageIndex, const SerialRecord& record);
// WriteSlotSerialization of the serialization settings (SerialMemory ... SerialNumber).
bool WriteSerializationSettings(int imageIndex);

// ReadSerialization of slot `image` (1-based) into the serialization record.
bool ReadImageSerialization(int image);

// After a program run of slot `image`: reads the slot's record; when its
// serialization is on (`active`), the last serial number of every port into
// LastSerials. False with the last-error record set.
bool ReadRunSerials(int image, bool& active);
