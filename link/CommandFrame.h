// The exchange every command shares: send, check the response ID and status.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

struct CommandInfo {
  uint8_t code;
  int timeout;              // ticks
  const char* name;         // written to LastFunction
  const char* source;       // source of the errors the command raises
};

// How a programmer status other than 0 is raised.
enum class StatusErrors {
  AsProgrammerError,   // the status itself, "Programmer Error"
  AsFlashBlockError,   // 1000 + status, source "Programmer Error", no text
};

// Sends the payload and validates the reply (response ID, status, at least
// replyData bytes of data). Raises the pending error on failure and returns
// False; the caller captures the error.
bool ExchangeCommand(const CommandInfo& info, const std::vector<uint8_t>& payload, int replyData,
                     StatusErrors statusErrors = StatusErrors::AsProgrammerError,
                     int acceptedStatus = 0);

// Appends a little-endian value of the given width.
void AppendLittleEndian(std::vector<uint8_t>& bytes, uint32_t value, int width);
