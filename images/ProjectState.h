// What the last project file read said, kept apart from the live settings
// until the image is built from it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

extern std::string ProjectFile;
extern std::string ProjName;
extern std::string ProjFamily;
extern std::string ProjDevice;
extern uint8_t ProjMode;
extern int16_t ProjFreq;
extern float ProjVoltage;                     // volts
extern uint8_t ProjOsccalOpt;
extern int32_t ProjOsccalAddress;
extern std::array<uint8_t, 9> ProjFuses;
extern bool ProjAVR32Security;
extern bool ProjJtagId;
extern int32_t ProjJtagPart;
extern int32_t ProjJtagVersion;
extern bool ProjectLoaded;
extern bool OpenProjectRequest;
extern int32_t FileChecksum;

// Puts every global above back to its start value.
void ResetProjectState();
