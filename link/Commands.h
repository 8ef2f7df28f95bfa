// The programmer command set. Each command returns True on success and leaves
// the last-error record describing its outcome; none shows anything itself.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "link/SerialRecord.h"

bool UnlockFlash();
bool LoadFirmware();
bool ConfigureProgrammer();
bool CancelProgramming();

// Revision text: major, a point, minor with three digits ("2.005").
bool FwRev(std::string& revision);

// Block transfers of at most 256 bytes a frame; data starts at index 0.
bool WriteFlash(int32_t address, int32_t count, const uint8_t* data, bool showProgress);
bool ReadFlash(int32_t address, int32_t count, uint8_t* data, bool showProgress);
bool CrcFlash(int32_t address, int32_t length, std::array<uint8_t, 2>& crc);

// The frame carries no checksum, so a byte flipped on the way back reaches
// the program unnoticed. What the program acts on or writes back is read
// until two answers in a row agree byte for byte (four reads at most), and
// what it writes for good is read back once and compared; 1505 otherwise.
bool ReadFlashConfirmed(int32_t address, int32_t count, uint8_t* data);
// `data` holds one read of the area: reads it again until a read agrees with
// the one before; 1505 from `source` when none does.
bool ConfirmFlashRead(int32_t address, int32_t count, uint8_t* data, bool showProgress, const char* source);
bool CrcFlashConfirmed(int32_t address, int32_t length, std::array<uint8_t, 2>& crc);
bool WriteFlashVerified(int32_t address, int32_t count, const uint8_t* data);

// While one lives, WriteFlash and ReadFlash look at CancelRequest before each
// block and, once it is set, stop there with error 1522 (CancelledText).
// Transfers outside it run to their end whatever CancelRequest says.
class CancellableTransfers {
 public:
  CancellableTransfers();
  ~CancellableTransfers();
  CancellableTransfers(const CancellableTransfers&) = delete;
  CancellableTransfers& operator=(const CancellableTransfers&) = delete;
  // Ends the cancellable stretch early; false with error 1522 when Cancel
  // came meanwhile, so that what follows is not started.
  bool End();

 private:
  bool ended_ = false;
};

// Runs on the enabled ports with a 1-based image slot.
bool Program(int image);
bool Verify(int image);
// Reads the target on `port` (1..4) into slot `image` (1-based).
bool ReadDevice(int port, int image);
// Bits 0..3 set = ports 1..4 enabled; bits 4 and 5 are run options.
bool PortsEnable(uint8_t mask);
bool GetStatus(std::array<uint8_t, 4>& status);

// The serialization record of slot `imageIndex` (0-based), sent as it is:
// whether the programmer takes one at all is the caller's decision.
bool WriteSerialization(int imageIndex, const SerialRecord& record);
// WriteSerialization, then the record read back and compared with what was
// sent (1505 otherwise).
bool WriteSerializationVerified(int imageIndex, const SerialRecord& record);
// `record` is filled only on success.
bool ReadSerialization(int imageIndex, SerialRecord& record);
// The last serial number each port 1..4 took, as upper-case hexadecimal of
// the reply bytes (least significant first); filled only on success.
bool GetLastSerials(std::array<std::string, 4>& serials);

// The payload byte PortsEnable sends for a mask: ports inverted, bits 6 and 7 clear.
uint8_t PortsEnablePayload(uint8_t mask);
// CrcFlash waits longer for longer ranges.
int CrcFlashTimeout(int32_t length);
