// The line server's views over a generated line: 100 stations, records spread over the last 30 days,
// 32 channels each. Prints p50/p95 of each view over the last day (the page's default) and over all
// 30 days, then keeps serving for a page-load measurement when asked.
//   bench_line_server [records (1000000)] [repeats (15)] [--serve=SECONDS]
#include "line_api.h"
#include "line_config.h"
#include "line_http.h"
#include "pg_cluster.h"
#include "test_record.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {
constexpr int STATIONS = 100;
constexpr int CHUNK = 100'000;

const char* const GENERATE =
    "INSERT INTO test_record (record_uuid, started_at, ended_at, station_db, local_seq, station, board_kind,"
    " board_identity, page, cell_column, cell_row, pass, failing_channels, passes, vals, limit_set, config_hash)"
    " SELECT gen_random_uuid(), t, t + interval '1 s', md5('station' || s)::uuid, seq,"
    "  'ST' || lpad(s::text, 3, '0'), 'MT', 'B-' || s, 1 + seq % 2, seq % 8, (seq / 8) % 4, pass,"
    "  CASE WHEN pass THEN 0 ELSE 1::bigint << ((seq * 7 + s) % 32 / (1 + seq % 3)) END, 1,"
    "  ARRAY(SELECT (1000 + 40 * random() + seq % 7)::real FROM generate_series(1, 32) WHERE seq > 0),"
    "  decode(repeat('aa', 32), 'hex'), 'c1'"
    " FROM generate_series(1, 100) AS s, generate_series($1::int, $2::int) AS seq,"
    "  LATERAL (SELECT now() - ($3::int - seq) * $4::float8 * interval '1 s' AS t, random() > 0.04 AS pass) x";

double Percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}
} // namespace

int main(int argc, char** argv)
{
    const int records = argc > 1 ? std::stoi(argv[1]) : 1'000'000;
    const int repeats = argc > 2 ? std::stoi(argv[2]) : 15;
    int serveS = 0;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]).rfind("--serve=", 0) == 0)
            serveS = std::stoi(std::string(argv[i]).substr(8));

    PgCluster cluster;
    std::string error;
    if (!cluster.Create(&error, {"shared_buffers=512MB", "work_mem=64MB", "max_parallel_workers_per_gather=2"}) ||
        !cluster.CreateLineDatabase("bench", &error)) {
        std::fprintf(stderr, "cluster: %s\n", error.c_str());
        return 1;
    }
    pq::Connection owner;
    if (!owner.Open(cluster.ConnInfo("bench"), 10, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    owner.Exec("SELECT line_ensure_partition(now() - interval '31 days'), line_ensure_partition(now() - interval '15 days'),"
               " line_ensure_partition(now());"
               "INSERT INTO limit_set VALUES (decode(repeat('aa', 32), 'hex'), array_fill(1060::real, ARRAY[32]),"
               " array_fill(990::real, ARRAY[32]), array_fill(1020::real, ARRAY[32]), array_fill(1::smallint, ARRAY[32]),"
               " 2000, 0);"
               "INSERT INTO station_status (station_db, station_role, station, state, board_kind, board_identity,"
               " config_hash, program_version, backlog, oldest_unsent, quarantined)"
               " SELECT md5('station' || s)::uuid, 'station_a', 'ST' || lpad(s::text, 3, '0'), 'synced', 'MT', 'B-' || s,"
               " 'c1', '1', 0, NULL, 0 FROM generate_series(1, 100) s");
    const int perStation = records / STATIONS;
    const double spacingS = 30.0 * 86400.0 / perStation;
    const auto t0 = std::chrono::steady_clock::now();
    for (int first = 1; first <= perStation; first += CHUNK / STATIONS) {
        const int last = std::min(perStation, first + CHUNK / STATIONS - 1);
        pq::Result r = owner.Exec(GENERATE, {std::to_string(first), std::to_string(last), std::to_string(perStation),
                                             std::to_string(spacingS)});
        if (!r.Ok()) {
            std::fprintf(stderr, "generate: %s\n", r.Error().c_str());
            return 1;
        }
    }
    owner.Exec("VACUUM ANALYZE");
    std::printf("%d records generated in %.0f s\n", perStation * STATIONS,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());

    LineConfig config;
    for (int s = 1; s <= STATIONS; ++s) {
        char name[8];
        std::snprintf(name, sizeof name, "ST%03d", s);
        config.stations.push_back(name);
    }
    LineApi api(cluster.ConnInfo("bench", "line_reader"), config);
    struct Call {
        const char* label;
        std::string view;
        ApiParams params;
    };
    const std::string from30 = FormatUtc(NowUtcMs() - 30LL * 86400 * 1000);
    const std::vector<Call> calls = {
        {"status", "status", {}},
        {"yield 1 day", "yield", {}},
        {"yield 30 days", "yield", {{"from", from30}}},
        {"pareto 1 day", "pareto", {}},
        {"pareto 30 days", "pareto", {{"from", from30}}},
        {"channel 1 day, 1 station", "channel", {{"channel", "5"}, {"station", "ST042"}}},
        {"channel 30 days, 1 station", "channel", {{"channel", "5"}, {"station", "ST042"}, {"from", from30}}},
        {"capability 1 day", "capability", {}},
        {"capability 1 day, 1 station", "capability", {{"station", "ST042"}}},
        {"capability 30 days, 1 station", "capability", {{"station", "ST042"}, {"from", from30}}},
        {"capability 30 days", "capability", {{"from", from30}}},
        {"health 1 day", "health", {}},
        {"health 30 days", "health", {{"from", from30}}},
    };
    std::printf("%-32s %10s %10s %8s\n", "view", "p50 ms", "p95 ms", "bytes");
    for (const Call& c : calls) {
        std::vector<double> ms;
        std::size_t bytes = 0;
        const int n = c.view == "capability" && c.params.count("station") == 0 && c.params.count("from") ? 3 : repeats;
        for (int i = 0; i < n; ++i) {
            const auto start = std::chrono::steady_clock::now();
            const ApiReply reply = api.Handle(c.view, c.params);
            ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
            if (reply.status != 200) {
                std::fprintf(stderr, "%s: %d %s\n", c.label, reply.status, reply.body.c_str());
                return 1;
            }
            bytes = reply.body.size();
        }
        std::printf("%-32s %10.1f %10.1f %8zu\n", c.label, Percentile(ms, 0.5), Percentile(ms, 0.95), bytes);
        std::fflush(stdout);
    }

    if (serveS > 0) {
        httplib::Server server;
        RouteLine(server, api, LINE_WEB_DIR);
        const int port = server.bind_to_any_port("127.0.0.1");
        std::printf("SERVING http://127.0.0.1:%d/ FROM %s\n", port, from30.c_str());
        std::fflush(stdout);
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::seconds(serveS));
            server.stop();
        });
        server.listen_after_bind();
        stopper.join();
    }
    return 0;
}
