#pragma once
// A small line whose figures are worked out by hand in the tests (all times UTC):
//   S1  6 records on 2026-03-02 from 07:00, channel values 10 12 11 13 12 14 on every channel,
//       limits 0..20; records 2 and 4 fail (channels 0+3, then 3); local_seq 1 2 3 5 6 7.
//   S2  kind "ST": 2026-03-01 23:30, 2026-03-02 03:00 and 03:01 pass, 2026-03-02 14:00 fails on
//       channel 3; the 03:01 record was received 10 minutes before it started (a clock ahead).
//   S6  channel 0: 10 ×7 then 30, the last four records under other limits (0..200).
// Heartbeats: S1 now (synced, idle), S2 5 minutes ago (offline), S4 now in e-stop, S5 now with a
// record just ended (running), and the name `<img src=x onerror=alert(1)>` now.
#include "pq.h"

#include <string>

bool SeedLine(pq::Connection& owner, std::string* error);
