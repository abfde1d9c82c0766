#pragma once
// One test record: a sensor laid on a cell of the grid, judged while it lay there, and taken off.
#include "grid_model.h"

#include <array>
#include <cstdint>
#include <string>

using ChannelArray = std::array<std::uint16_t, GRID_CHANNELS>;

struct TestRecord {
    // Given by the store: a UUID v7 made when the record is first stored (kept when one is set),
    // and the store's row number, never reused.
    std::string recordUuid;
    std::int64_t localSeq = 0;
    std::int64_t startMs = 0; // UTC, milliseconds since 1970
    std::int64_t endMs = 0;
    std::string stationId;
    std::string boardKind;
    std::string boardIdentity;
    int page = 0;
    int column = 0;
    int row = 0;
    bool pass = true;
    std::uint32_t failingChannels = 0; // bit k: channel k out of its limits in the deciding pass
    int passes = 0;                    // judged passes during the placement
    ChannelArray values{};             // the deciding pass
    ChannelArray upperLimit{};
    ChannelArray lowerLimit{};
    ChannelArray reference{};
    std::array<std::uint8_t, GRID_CHANNELS> mask{};
    double rangeHigh = 0;
    double rangeLow = 0;
    std::string configHash;
};

// "2026-12-10T22:11:35.123Z"
std::string FormatUtc(std::int64_t ms);
// A whole ISO 8601 date ("2026-12-10", midnight UTC) or date-time ("2026-12-10T06:00:00", optional
// ".mmm", optional "Z" or "+HH:MM"); no offset means UTC. False for anything else.
bool ParseUtc(const std::string& text, std::int64_t* ms);
std::int64_t NowUtcMs();
// "3 17 30": the numbers of the set bits.
std::string ChannelList(std::uint32_t bits);
