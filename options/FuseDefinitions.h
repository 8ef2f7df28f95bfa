// Fuse definition files: per device the fuse bytes, their bit fields and
// the settings each field offers, read at run time from the file of the
// programmer type ("\AVRFuses.inf", "\AVR32Fuses.inf", "\ARMFuses.inf").
//
// A record holds five fields separated by four "%": a keyword (ID, BYTE,
// FIELD, OPTION, ENDID, EOF; others are comments) and four values.
#pragma once

#include <array>
#include <cstdint>
#include <string>

class TextFieldReader;

// Reads the next record into FuseTokens and counts it in FuseLineNo; returns
// its keyword, "EOF" at the end of the file. False in `complete` when the
// record holds fewer than five fields.
std::string ReadFuseRecord(TextFieldReader& file, bool& complete);

// Fills the fuse model (NumFuseBytes, FuseDefs, OsccalMask, HasOsccal) for
// the selected device from the file at path. False with the reason in the
// last-error record (1501, or the file's open error); what was read so far
// stays in the model, which never leaves its bounds.
bool LoadFuseDefinitions(const std::string& path);

// Every fuse byte 0xFF with each field's default bits, and the other device
// options of an image back to none.
void SetDefaultFuses();

// The box a failed LoadFuseDefinitions shows.
void ShowFuseDefinitionError();

// The fuse file being read: the last record's five fields and its number.
extern std::array<std::string, 5> FuseTokens;
extern int32_t FuseLineNo;
// Puts the globals above back to their start values.
void ResetFuseReaderState();
