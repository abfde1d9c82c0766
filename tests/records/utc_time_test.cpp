// Export times: parsed from their parts alone, whatever the machine's time zone, and nothing but a
// whole ISO 8601 date or date-time is taken.
#include "local_zone.h"
#include "test_record.h"

#include <gtest/gtest.h>

#include <string>

namespace {
TEST(UtcText, TimesWithoutAnOffsetAreUtcInEveryZoneAndMalformedTimesAreRefused)
{
    constexpr std::int64_t REFUSED = -1;
    const struct Row {
        const char* text;
        std::int64_t ms;
    } rows[] = {
        {"2026-03-29T02:30:00", 1774751400000},     // a local time Berlin skips
        {"2026-03-29T02:30:00Z", 1774751400000},
        {"2026-10-25T02:30:00", 1792895400000},     // one Berlin has twice
        {"2026-09-06", 1788652800000},              // a day Santiago starts at 01:00
        {"2026-09-06T00:00:00.250", 1788652800250},
        {"2026-09-06T00:30:00+02:00", 1788647400000},
        {"2026-09-05T20:00:00-04:00", 1788652800000},
        {"2028-02-29T12:00:00Z", 1835438400000},
        {"1970-01-01T00:00:00.000Z", 0},
        {"2026-03-29T25:00:00Z", REFUSED},
        {"2026-03-29T24:00:00Z", REFUSED},
        {"2026-03-29T06:60:00Z", REFUSED},
        {"2026-03-29T06:00:60Z", REFUSED},
        {"2026-03-29T6:00:00Z", REFUSED},
        {"2026-03-29T06:00:00 Z", REFUSED},
        {" 2026-03-29", REFUSED},
        {"2026-03-29 ", REFUSED},
        {"2026-03-29T06:00Z", REFUSED},
        {"2026-03-29T06:00:00.5Z", REFUSED},
        {"2026-03-29T06:00:00.1234Z", REFUSED},
        {"2026-03-29T06:00:00+0200", REFUSED},
        {"2026-03-29T06:00:00+24:00", REFUSED},
        {"2026-03-29T06:00:00Zjunk", REFUSED},
        {"2026-03-29T", REFUSED},
        {"2026-03-29Z", REFUSED},
        {"2026-02-29", REFUSED},
        {"2026-13-01", REFUSED},
        {"2026-00-10", REFUSED},
        {"2026-04-31", REFUSED},
        {"2026-4-01", REFUSED},
        {"20260329", REFUSED},
        {"2026-03-29t06:00:00z", REFUSED},
        {"yesterday", REFUSED},
        {"", REFUSED},
    };
    for (const char* zone : {"Europe/Berlin", "America/Santiago", "UTC"}) {
        const LocalZone tz(zone);
        for (const Row& r : rows) {
            SCOPED_TRACE(std::string(zone) + " " + r.text);
            std::int64_t ms = 12345;
            EXPECT_EQ(ParseUtc(r.text, &ms), r.ms != REFUSED);
            if (r.ms != REFUSED) {
                EXPECT_EQ(ms, r.ms);
                std::int64_t back = 0; // what an export writes reads back as the same time
                EXPECT_TRUE(ParseUtc(FormatUtc(ms), &back));
                EXPECT_EQ(back, ms);
            }
        }
    }
}
} // namespace
