#include "line_seed.h"

namespace {
const char* const SEED = R"SQL(
SELECT line_ensure_partition('2026-03-01T00:00:00Z'), line_ensure_partition(now());
INSERT INTO limit_set VALUES
  (decode(repeat('aa', 32), 'hex'), array_fill(20::real, ARRAY[32]), array_fill(0::real, ARRAY[32]),
   array_fill(12::real, ARRAY[32]), array_fill(1::smallint, ARRAY[32]), 20, 0),
  (decode(repeat('bb', 32), 'hex'), array_fill(200::real, ARRAY[32]), array_fill(0::real, ARRAY[32]),
   array_fill(12::real, ARRAY[32]), array_fill(1::smallint, ARRAY[32]), 200, 0);

INSERT INTO test_record (record_uuid, started_at, ended_at, station_db, local_seq, station, board_kind,
                         board_identity, page, cell_column, cell_row, pass, failing_channels, passes, vals,
                         limit_set, config_hash, received_at)
SELECT gen_random_uuid(), t, t + interval '1 second', s.db, seq, s.name, kind, 'B-1', 1, col, 0, pass, failing,
       1, array_fill(x::real, ARRAY[32]), decode(repeat(ls, 32), 'hex'), 'c1', coalesce(recv, t + interval '2 s')
FROM (VALUES
  ('S1', '2026-03-02T07:00:00Z'::timestamptz, 1, 'MT', 0, true, 0, 10, 'aa', NULL::timestamptz),
  ('S1', '2026-03-02T07:01:00Z', 2, 'MT', 1, false, 9, 12, 'aa', NULL),
  ('S1', '2026-03-02T07:02:00Z', 3, 'MT', 2, true, 0, 11, 'aa', NULL),
  ('S1', '2026-03-02T07:03:00Z', 5, 'MT', 1, false, 8, 13, 'aa', NULL),
  ('S1', '2026-03-02T07:04:00Z', 6, 'MT', 0, true, 0, 12, 'aa', NULL),
  ('S1', '2026-03-02T07:05:00Z', 7, 'MT', 2, true, 0, 14, 'aa', NULL),
  ('S2', '2026-03-01T23:30:00Z', 1, 'ST', 0, true, 0, 11, 'aa', NULL),
  ('S2', '2026-03-02T03:00:00Z', 2, 'ST', 0, true, 0, 11, 'aa', NULL),
  ('S2', '2026-03-02T03:01:00Z', 3, 'ST', 0, true, 0, 11, 'aa', '2026-03-02T02:51:00Z'),
  ('S2', '2026-03-02T14:00:00Z', 4, 'ST', 0, false, 8, 11, 'aa', NULL),
  ('S6', '2026-03-02T08:00:00Z', 1, 'MT', 0, true, 0, 10, 'aa', NULL),
  ('S6', '2026-03-02T08:01:00Z', 2, 'MT', 0, true, 0, 10, 'aa', NULL),
  ('S6', '2026-03-02T08:02:00Z', 3, 'MT', 0, true, 0, 10, 'aa', NULL),
  ('S6', '2026-03-02T08:03:00Z', 4, 'MT', 0, true, 0, 10, 'aa', NULL),
  ('S6', '2026-03-02T08:04:00Z', 5, 'MT', 0, true, 0, 10, 'bb', NULL),
  ('S6', '2026-03-02T08:05:00Z', 6, 'MT', 0, true, 0, 10, 'bb', NULL),
  ('S6', '2026-03-02T08:06:00Z', 7, 'MT', 0, true, 0, 10, 'bb', NULL),
  ('S6', '2026-03-02T08:07:00Z', 8, 'MT', 0, true, 0, 30, 'bb', NULL)
) AS v(name, t, seq, kind, col, pass, failing, x, ls, recv)
JOIN (VALUES ('S1', '00000000-0000-7000-8000-000000000001'::uuid),
             ('S2', '00000000-0000-7000-8000-000000000002'::uuid),
             ('S6', '00000000-0000-7000-8000-000000000006'::uuid)) AS s(name, db) ON s.name = v.name;

INSERT INTO test_record (record_uuid, started_at, ended_at, station_db, local_seq, station, board_kind,
                         board_identity, page, cell_column, cell_row, pass, failing_channels, passes, vals,
                         limit_set, config_hash)
VALUES (gen_random_uuid(), now() - interval '2 s', now() - interval '1 s', '00000000-0000-7000-8000-000000000005',
        1, 'S5', 'MT', 'B-5', 1, 0, 0, true, 0, 1, array_fill(12::real, ARRAY[32]),
        decode(repeat('aa', 32), 'hex'), 'c1');

INSERT INTO station_status (station_db, station_role, station, state, board_kind, board_identity, config_hash,
                            program_version, backlog, oldest_unsent, quarantined, updated_at)
VALUES
  ('00000000-0000-7000-8000-000000000001', 'station_a', 'S1', 'synced', 'MT', 'B-1', 'c1', '1', 0, NULL, 0, now()),
  ('00000000-0000-7000-8000-000000000002', 'station_b', 'S2', 'pending', 'ST', 'B-2', 'c2', '1', 12,
   '2026-03-02T14:00:00Z', 2, now() - interval '5 minutes'),
  ('00000000-0000-7000-8000-000000000004', 'station_c', 'S4', 'e-stop', 'MT', 'B-4', 'c1', '1', 0, NULL, 0, now()),
  ('00000000-0000-7000-8000-000000000005', 'station_c', 'S5', 'synced', 'MT', 'B-5', 'c1', '1', 0, NULL, 0, now()),
  ('00000000-0000-7000-8000-000000000007', 'station_c', '<img src=x onerror=alert(1)>', 'synced', 'MT', 'B-7',
   'c1', '1', 0, NULL, 0, now());
)SQL";
} // namespace

bool SeedLine(pq::Connection& owner, std::string* error)
{
    pq::Result r = owner.Exec(SEED);
    if (!r.Ok()) {
        *error = r.Error();
        return false;
    }
    return true;
}
