#include "baseline_edit.h"

int selectedPage = 0;
std::uint16_t editMask[32] = {};
std::uint16_t editThresholdHigh[32] = {};
std::uint16_t editThresholdLow[32] = {};
std::uint16_t editRefData[32] = {};
