#include "classic_routines.h"

#include "cclassic_tester.h"
#include "page_table.h"

#include <cmath>
#include <cstring>
#include <mutex>

void InitClassic(CClassicTester& classic)
{
    classic.ReadSettings();

    std::lock_guard lock(pageTableLock());
    PageRecord& page = pageTable[0];
    std::memcpy(page.refData, classic.referenceValues.data(), sizeof classic.referenceValues);
    std::memcpy(page.thresholdHigh, classic.upperLimits.data(), sizeof classic.upperLimits);
    std::memcpy(page.thresholdLow, classic.lowerLimits.data(), sizeof classic.lowerLimits);
    std::memcpy(page.mask, classic.channelMasks.data(), sizeof classic.channelMasks);
    page.dataMax = classic.dataRangeMax;
    page.dataMin = classic.dataRangeMin;
    page.offsetType = classic.offsetType != 0 ? 1 : 0;
    page.percentage = static_cast<float>(classic.offsetPercent);
    page.offsetUpper = classic.offsetUpper;
    page.offsetLower = classic.offsetLower;
}

std::uint8_t PercentageByte(float percentage)
{
    // A configuration file can hold any number here; converting one beyond int's range to an
    // integer would be undefined, and fmod gives the same low 8 bits exactly.
    if (!std::isfinite(percentage))
        return 0;
    double low = std::fmod(std::trunc(static_cast<double>(percentage)), 256.0);
    if (low < 0)
        low += 256.0;
    return static_cast<std::uint8_t>(low);
}

void DownloadClassic(CClassicTester& classic)
{
    PageChannels settings;
    std::uint8_t offsetType = 0;
    float percentage = 0;
    std::int32_t offsetUpper = 0, offsetLower = 0;
    {
        std::lock_guard lock(pageTableLock());
        const PageRecord& page = pageTable[0];
        settings = UnpackChannels(page);
        offsetType = page.offsetType;
        percentage = page.percentage;
        offsetUpper = page.offsetUpper;
        offsetLower = page.offsetLower;
    }
    const auto low16 = [](std::int32_t v) { return static_cast<std::uint32_t>(v) & 0xFFFF; };
    for (int ch = 0; ch < CClassicTester::CHANNELS; ++ch)
        classic.WriteChannelMask(settings.mask[ch], ch);
    for (int ch = 0; ch < CClassicTester::CHANNELS; ++ch)
        classic.WriteUpperLimit(settings.thresholdHigh[ch], ch);
    for (int ch = 0; ch < CClassicTester::CHANNELS; ++ch)
        classic.WriteLowerLimit(settings.thresholdLow[ch], ch);
    for (int ch = 0; ch < CClassicTester::CHANNELS; ++ch)
        classic.WriteReferenceValue(settings.refData[ch], ch);
    classic.WriteDataRangeMax(low16(settings.dataMax));
    classic.WriteDataRangeMin(low16(settings.dataMin));
    classic.WriteOffsetType(offsetType);
    classic.WriteOffsetPercent(PercentageByte(percentage));
    classic.WriteOffsetUpper(low16(offsetUpper));
    classic.WriteOffsetLower(low16(offsetLower));
}
