#include "grid_model.h"

#include <cmath>

const char* VerdictText(CellVerdict verdict)
{
    switch (verdict) {
    case Pass:
        return "PASS";
    case Fail:
        return "FAIL";
    case Load:
        return "LOAD";
    }
    return "";
}

double ComputeSimilarity(const ColorBarCell& cell)
{
    constexpr float n = GRID_CHANNELS;
    float sxy = 0, sx = 0, sy = 0, sxx = 0, syy = 0;
    float firstX = 0, firstY = 0;
    bool flatX = true, flatY = true;
    for (int k = 0; k < GRID_CHANNELS; ++k) {
        const bool active = cell.channelState[k] == Active;
        const float x = active ? float(cell.value[k]) : 0.0f;
        const float y = active ? float(cell.reference[k]) : 0.0f;
        if (k == 0) {
            firstX = x;
            firstY = y;
        }
        flatX = flatX && x == firstX;
        flatY = flatY && y == firstY;
        sxy += x * y;
        sx += x;
        sy += y;
        sxx += x * x;
        syy += y * y;
    }
    // A flat series has no spread, but single-precision sums of large values do not always cancel
    // to exactly 0: the residue would give a NaN or a random coefficient that may pass the threshold.
    if (flatX || flatY)
        return 0.0;
    const float product = (sxx - sx * sx / n) * (syy - sy * sy / n);
    // Nearly flat series can round to a spread at or below 0: no spread either, and no NaN.
    if (!(product > 0.0f))
        return 0.0;
    const float d = std::sqrt(product);
    return double((sxy - sx * sy / n) / d);
}

CellVerdict JudgeCell(const ColorBarCell& cell)
{
    bool anyActive = false;
    bool outOfLimits = false;
    for (int k = 0; k < GRID_CHANNELS; ++k) {
        if (cell.channelState[k] != Active)
            continue;
        anyActive = true;
        if (IsAboveUpper(cell, k) || IsBelowLower(cell, k))
            outOfLimits = true;
    }
    if (!anyActive)
        return Load;
    if (outOfLimits)
        return Fail;
    if (cell.similarityOn && cell.similarityThreshold > cell.similarity)
        return Fail;
    return Pass;
}

std::uint8_t NextChannelState(std::uint8_t state)
{
    switch (state) {
    case Active:
        return Hatched;
    case Hatched:
        return Dark;
    case Dark:
        return Active;
    default:
        return state;
    }
}

bool ReadsEmpty(const std::uint16_t (&value)[GRID_CHANNELS], const std::uint16_t (&lowerLimit)[GRID_CHANNELS],
                const std::uint8_t (&channelState)[GRID_CHANNELS])
{
    for (int k = 0; k < GRID_CHANNELS; ++k)
        if (channelState[k] == Active && (lowerLimit[k] == 0 || value[k] >= lowerLimit[k] / 4))
            return false;
    return true;
}
