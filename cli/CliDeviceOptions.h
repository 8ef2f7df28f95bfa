// The command line's view of the AVR-class programming options: listing a
// device's fuse fields, and taking fuse bytes, calibration, JTAG ID and the
// AVR32 security bit for a load, checked as the options window checks them.
#pragma once

#include <cstdint>
#include <string>

struct ImageLoadSettings;

// The AVR-class settings of a load, as the options give them.
struct DeviceOptionValues {
  std::string fuses;                    // the fuse bytes, "HH,HH,…"
  std::string osccal;                   // NONE 8MHZ 4MHZ 2MHZ 1MHZ INTERNAL
  std::string osccalMemory;             // flash or eeprom
  std::string osccalAddress;            // hex
  std::string jtagId;                   // "PART,VERSION" in hex
  bool avr32Security = false;
};

// True when the options name any of the AVR-class settings.
bool HasDeviceOptions(const DeviceOptionValues& options);

// Sets the device options of a load for the device found: the fuse file's
// defaults (or a project's values), then what the options give. Adds the
// mode bits the options imply to `mode`. False, with a message on standard
// error, when a value is refused; nothing has been sent then.
bool TakeDeviceOptions(const DeviceOptionValues& options, bool fromProject, int16_t& mode);

// Prints the fuse fields of the loaded model, one line per field: byte,
// byte name, the byte's value, field name, description, mask, then one
// column per option ("text=HH", the current one marked "*"); then the
// calibration values the device offers.
void PrintFuseFields();
// The same as one JSON document: the bytes with their values, each field with its options.
void PrintFuseFieldsJson(int address, const std::string& deviceType);

// Takes `--option-bytes` for a load of the device found (Z8 Encore!, ZNEO,
// ZLF645): the bytes the option bits window would write, in its byte order.
// A ZLF645 load without a FIB3 file then carries an erased page holding them
// (mode bit 4: the page goes along). False, with a message on standard error,
// when the device has no option bytes, the count is wrong, or a bit the
// device has no setting for is not 1; nothing has been sent then.
bool TakeOptionBytes(const std::string& text, ImageLoadSettings& settings, int16_t& mode);
