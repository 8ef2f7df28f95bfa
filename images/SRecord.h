// Motorola S-record files: S1/S2/S3 data, S5/S6 record counts, S7/S8/S9
// ends; the S0 header is read and ignored. Held to the Intel HEX reader's
// rules: every record's checksum, length and characters are checked, and a
// file without data or without its end record is refused.
#pragma once

#include <string>
#include <string_view>

#include "images/BuildFile.h"

// The data records of `text` into records; errors name `path` and the line.
bool ReadSRecordFile(const std::string& path, std::string_view text, BuildRecords& records, BuildFileError& error);

// Whether a line opens an S-record: "S" and a digit.
bool IsSRecordLine(std::string_view line);
