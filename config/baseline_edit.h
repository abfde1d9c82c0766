#pragma once
// The page under edit and its working arrays, shared by the main window's grid-click handler and
// the baseline dialog. The handler fills them before the dialog opens and writes them back after
// OK. UI thread only.
#include <cstdint>

extern int selectedPage;
extern std::uint16_t editMask[32];
extern std::uint16_t editThresholdHigh[32];
extern std::uint16_t editThresholdLow[32];
extern std::uint16_t editRefData[32];
