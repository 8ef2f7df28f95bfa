#include "link/CommandFrame.h"

#include "link/CommDefs.h"
#include "link/ErrorRecord.h"
#include "link/Frame.h"
#include "link/Transport.h"

bool ExchangeCommand(const CommandInfo& info, const std::vector<uint8_t>& payload, int replyData,
                     StatusErrors statusErrors, int acceptedStatus) {
  if (!SendCommand(payload.data(), static_cast<int>(payload.size()), info.timeout)) return false;

  if (RxCount < 1 || RxBuffer[0] != static_cast<uint8_t>(info.code + ResponseFlag)) {
    RaiseError(ErrWrongResponseId, info.source, "Bad Response from Programmer - Response ID");
    return false;
  }
  // A reply cut short would leave the previous reply's bytes in place of its data.
  if (RxCount < 2) {
    RaiseError(ErrWrongResponseId, info.source, "Bad Response from Programmer - Length");
    return false;
  }
  const uint8_t status = RxBuffer[1];
  if (status != 0 && !(acceptedStatus != 0 && status == acceptedStatus)) {
    if (statusErrors == StatusErrors::AsFlashBlockError) {
      RaiseError(ErrFlashStatusBase + status, "Programmer Error", "");
    } else {
      RaiseError(status, info.source, "Programmer Error");
    }
    return false;
  }
  if (RxCount < 2 + replyData) {
    RaiseError(ErrWrongResponseId, info.source, "Bad Response from Programmer - Length");
    return false;
  }
  return true;
}

void AppendLittleEndian(std::vector<uint8_t>& bytes, uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
