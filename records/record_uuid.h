#pragma once
// Record identities: UUID version 7 (a millisecond time stamp, then 74 random bits from the
// kernel's generator), so that identities made on many stations never meet and sort by time.
#include <cstdint>
#include <string>

// "0190f3a2-7c1e-7abc-8def-0123456789ab", lower case.
std::string NewUuid7(std::int64_t unixMs);
