#pragma once
// Moving page 0's settings between the classic channel tester and the page table.
#include <cstdint>

class CClassicTester;

// The board's settings image (ReadSettings) into page 0.
void InitClassic(CClassicTester& classic);
// Page 0's masks, limits, references, data range and offsets to the board: 134 writes.
void DownloadClassic(CClassicTester& classic);
// The percentage as the board takes it: truncated toward zero, low 8 bits; 0 when not a number.
std::uint8_t PercentageByte(float percentage);
