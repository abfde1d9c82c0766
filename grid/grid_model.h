#pragma once
// The grid's data and decisions, free of any widget: cells, channel states, verdicts and the
// similarity coefficient. Depends on the standard library only.
#include <cstdint>

constexpr int GRID_MAX_COLUMNS = 10;
constexpr int GRID_MAX_ROWS = 10;
constexpr int GRID_CHANNELS = 32;

enum ChannelState : std::uint8_t { Active = 0, Hatched = 1, Dark = 2 };
enum CellVerdict : std::uint8_t { Pass = 0, Fail = 1, Load = 2 };

struct ColorBarCell {
    std::uint16_t upperLimit[GRID_CHANNELS];
    std::uint16_t lowerLimit[GRID_CHANNELS];
    std::uint8_t channelState[GRID_CHANNELS];
    std::uint16_t value[GRID_CHANNELS];
    std::uint16_t reference[GRID_CHANNELS];
    double rangeHigh;
    double rangeLow;
    std::uint8_t hitMark[GRID_CHANNELS];
    bool similarityOn;
    double similarity;
    double similarityThreshold;
};

const char* VerdictText(CellVerdict verdict);

// Pearson coefficient of value against reference over all 32 channels, excluded ones as (0, 0),
// accumulated in single precision; 0 when either series has no spread.
double ComputeSimilarity(const ColorBarCell& cell);

// Verdict from the limits of the Active channels and the stored `similarity`.
CellVerdict JudgeCell(const ColorBarCell& cell);

inline bool IsAboveUpper(const ColorBarCell& cell, int k) { return cell.value[k] > cell.upperLimit[k]; }
inline bool IsBelowLower(const ColorBarCell& cell, int k) { return cell.value[k] < cell.lowerLimit[k]; }

// No sensor on the position: every Active channel reads below a quarter of its lower limit. A
// channel without a lower limit cannot tell, so it counts as occupied; with no Active channel the
// position counts as empty.
bool ReadsEmpty(const std::uint16_t (&value)[GRID_CHANNELS], const std::uint16_t (&lowerLimit)[GRID_CHANNELS],
                const std::uint8_t (&channelState)[GRID_CHANNELS]);

// Double-click cycle Active -> Hatched -> Dark -> Active; unknown states stay as they are.
std::uint8_t NextChannelState(std::uint8_t state);
