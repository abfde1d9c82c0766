// The line page in headless Chromium against a seeded line: the harness serves the page, works out
// the figures in SQL and lets the browser script compare what the page shows with them.
#include "line_api.h"
#include "line_config.h"
#include "line_http.h"
#include "line_seed.h"
#include "pg_cluster.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>
#include <sys/wait.h>

using nlohmann::json;

namespace {
json Query(pq::Connection& db, const char* sql)
{
    pq::Result r = db.Exec(sql);
    EXPECT_TRUE(r.Ok()) << r.Error();
    json rows = json::array();
    for (int i = 0; i < r.Rows(); ++i) {
        json row = json::array();
        for (int c = 0; c < 5 && !r.IsNull(i, c); ++c)
            row.push_back(r.Text(i, c));
        rows.push_back(row);
    }
    return rows;
}

// Three 8-hour shifts from 06:00 UTC, worked out here apart from the server's own arithmetic.
const char* const SQL_YIELD =
    "SELECT station, date_trunc('day', (started_at AT TIME ZONE 'UTC') - interval '6 hours')::date::text,"
    " (floor(extract(hour FROM (started_at AT TIME ZONE 'UTC') - interval '6 hours') / 8) + 1)::int::text,"
    " count(*) FILTER (WHERE pass)::text, count(*)::text FROM test_record"
    " WHERE started_at >= '2026-03-01T00:00:00Z' AND started_at < '2026-03-03T00:00:00Z' GROUP BY 1, 2, 3";
const char* const SQL_PARETO_TOP =
    "SELECT ch::text, count(*)::text FROM test_record, generate_series(0, 31) AS ch"
    " WHERE started_at >= '2026-03-01T00:00:00Z' AND started_at < '2026-03-03T00:00:00Z'"
    " AND failing_channels & (1::bigint << ch) <> 0 GROUP BY ch ORDER BY count(*) DESC, ch LIMIT 1";
const char* const SQL_SHIFT_COUNTS =
    "WITH u AS (SELECT now() AT TIME ZONE 'UTC' AS t),"
    " s AS (SELECT (CASE WHEN extract(hour FROM t) >= 22 THEN date_trunc('day', t) + interval '22 hours'"
    "   WHEN extract(hour FROM t) >= 14 THEN date_trunc('day', t) + interval '14 hours'"
    "   WHEN extract(hour FROM t) >= 6 THEN date_trunc('day', t) + interval '6 hours'"
    "   ELSE date_trunc('day', t) - interval '2 hours' END) AT TIME ZONE 'UTC' AS start FROM u)"
    " SELECT station, count(*) FILTER (WHERE pass)::text, count(*)::text FROM test_record"
    " WHERE started_at >= (SELECT start FROM s) GROUP BY station";
} // namespace

TEST(LinePage, ShowsTheLineInChromium)
{
    const bool haveChromium = std::filesystem::exists("/usr/bin/chromium");
    if (!haveChromium) {
        // On CI the set-up script installs it: its absence there is a failure, not a skip.
        if (std::getenv("CI"))
            FAIL() << "/usr/bin/chromium is missing; scripts/setup.sh installs it";
        GTEST_SKIP() << "Chromium is not installed";
    }

    PgCluster cluster;
    std::string error;
    ASSERT_TRUE(cluster.Create(&error)) << error;
    ASSERT_TRUE(cluster.CreateLineDatabase("page", &error)) << error;
    pq::Connection owner;
    ASSERT_TRUE(owner.Open(cluster.ConnInfo("page"), 10, &error)) << error;
    ASSERT_TRUE(SeedLine(owner, &error)) << error;

    LineConfig config;
    ASSERT_TRUE(ParseLineConfig("[stations]\nS1\nS2\nS3\n<img src=x onerror=alert(1)>\n", &config, &error)) << error;
    LineApi api(cluster.ConnInfo("page", "line_reader"), config);
    httplib::Server server;
    RouteLine(server, api, LINE_WEB_DIR);
    const int port = server.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    std::thread serving([&] { server.listen_after_bind(); });

    json expected;
    for (const json& r : Query(owner, SQL_YIELD))
        expected["yield"].push_back({{"station", r[0]}, {"date", r[1]}, {"shift", r[2]},
                                     {"passed", std::stoi(r[3].get<std::string>())},
                                     {"total", std::stoi(r[4].get<std::string>())}});
    const json top = Query(owner, SQL_PARETO_TOP);
    ASSERT_EQ(top.size(), 1u);
    expected["pareto_top"] = {{"channel", std::stoi(top[0][0].get<std::string>())},
                              {"failures", std::stoi(top[0][1].get<std::string>())}};
    std::map<std::string, std::pair<int, int>> shift;
    for (const json& r : Query(owner, SQL_SHIFT_COUNTS))
        shift[r[0]] = {std::stoi(r[1].get<std::string>()), std::stoi(r[2].get<std::string>())};
    const std::vector<std::pair<std::string, std::string>> states = {
        {"S1", "idle"}, {"S2", "offline"}, {"S3", "offline"}, {"S4", "e-stop"}, {"S5", "running"},
        {"<img src=x onerror=alert(1)>", "idle"}};
    for (const auto& [station, state] : states)
        expected["tiles"].push_back({{"station", station}, {"state", state},
                                     {"shift_passed", shift[station].first}, {"shift_total", shift[station].second}});

    const std::string expectedFile = cluster.Folder() + "/expected.json";
    std::ofstream(expectedFile) << expected.dump();
    std::filesystem::create_directories(LINE_SCREENSHOT_DIR);

    const std::string command = "node " LINE_BROWSER_DIR "/line_page_test.mjs http://127.0.0.1:" +
                                std::to_string(port) + " " + expectedFile + " " LINE_SCREENSHOT_DIR;
    FILE* child = popen(command.c_str(), "r");
    ASSERT_NE(child, nullptr);
    char line[4096];
    bool forwarded = false;
    while (std::fgets(line, sizeof line, child)) {
        std::fputs(line, stdout);
        // A station that starts forwarding while the page is open appears at the next poll.
        if (std::string(line).rfind("READY", 0) == 0 && !forwarded) {
            pq::Result r = owner.Exec(
                "SELECT line_heartbeat('00000000-0000-7000-8000-000000000009', 'S9', 'synced', 'MT', 'B-9', 'c1',"
                " '1', 0, NULL, 0)");
            EXPECT_TRUE(r.Ok()) << r.Error();
            forwarded = true;
        }
    }
    const int status = pclose(child);
    server.stop();
    serving.join();
    EXPECT_TRUE(forwarded);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the page's checks failed (see above)";
}
