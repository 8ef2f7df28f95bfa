#include "sim/Faults.h"

#include "sim/Frame.h"

namespace vrxsim {
namespace {

// Garbage without ESC, so it can never start or end a frame.
const std::vector<uint8_t> kNoise{0x00, 0x53, 0xFF, 0x45, 0x7E};
const std::vector<uint8_t> kTrailing{0x55, 0xAA, 0x00};

bool Hits(FaultInjectorActive& a);

}  // namespace
}  // namespace vrxsim
