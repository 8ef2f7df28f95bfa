// The serialization record of a stored image, read from the programmer, and
// the serial numbers a run wrote on the ports.
#pragma once

#include <array>
#include <string>

// ReadSerialization of slot `image` (1-based) into the serialization record.
bool ReadImageSerialization(int image);

// After a program run of slot `image`: reads the slot's record; when its
// serialization is on (`active`), the last serial number of every port into
// LastSerials. False with the last-error record set.
bool ReadRunSerials(int image, bool& active);
