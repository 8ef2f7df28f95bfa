// Everything a user of the simulated line needs in one include: the line
// and its units, framing, the device CRC and the option texts.
#pragma once

#include "sim/Config.h"
#include "sim/Crc16.h"
#include "sim/Frame.h"
#include "sim/Line.h"
#include "sim/OptionParse.h"
#include "sim/Unit.h"
