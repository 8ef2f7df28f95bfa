// Port status codes as the programmer reports them per port, and how they are shown.
#pragma once

#include <cstdint>
#include <string>

// Label colours, as 0xBBGGRR values; ButtonFace is the system's colour.
constexpr int64_t ColorButtonFace = 0x8000000F;
constexpr int64_t ColorTeal = 0x808000;
constexpr int64_t ColorWhite = 0xFFFFFF;
constexpr int64_t ColorRed = 0x0000FF;
constexpr int64_t ColorBlack = 0;
constexpr int64_t ColorBlue = 0xFF0000;

// Fills the caption and colours of a status code; returns whether the port is busy.
bool PortStatusText(uint8_t status, std::string& caption, int64_t& backColor, int64_t& foreColor, bool& failed);

// The programming manager's status frame hidden, the four labels cleared.
void ClearPortStatus();
void ShowPortStatus();
