#include "channel_statistics.h"
#include "line_api.h"
#include "line_config.h"
#include "line_http.h"
#include "line_seed.h"
#include "pg_cluster.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <memory>
#include <thread>

using nlohmann::json;

namespace {
// One cluster, one seeded line and one server for the suite: every test only reads.
struct Line {
    PgCluster cluster;
    std::unique_ptr<LineApi> api;
    httplib::Server server;
    std::thread thread;
    int port = 0;
};
Line* line = nullptr;

LineConfig TestConfig(const std::string& zone = "UTC")
{
    LineConfig c;
    std::string error;
    EXPECT_TRUE(ParseLineConfig("[line]\ntime_zone = " + zone +
                                    "\nshifts = 06:00, 14:00, 22:00\n[stations]\nS1\nS2\nS3\n<img src=x onerror=alert(1)>\n",
                                &c, &error))
        << error;
    return c;
}

class LineEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        line = new Line;
        std::string error;
        ASSERT_TRUE(line->cluster.Create(&error)) << error;
        ASSERT_TRUE(line->cluster.CreateLineDatabase("web", &error)) << error;
        pq::Connection owner;
        ASSERT_TRUE(owner.Open(line->cluster.ConnInfo("web"), 10, &error)) << error;
        ASSERT_TRUE(SeedLine(owner, &error)) << error;
        // The reader log-in role, as a deployment would give the server.
        line->api = std::make_unique<LineApi>(line->cluster.ConnInfo("web", "line_reader"), TestConfig());
        RouteLine(line->server, *line->api, "/nonexistent");
        line->port = line->server.bind_to_any_port("127.0.0.1");
        ASSERT_GT(line->port, 0);
        line->thread = std::thread([] { line->server.listen_after_bind(); });
    }
    void TearDown() override
    {
        if (line->thread.joinable()) {
            line->server.stop();
            line->thread.join();
        }
        delete line;
        line = nullptr;
    }
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new LineEnvironment);

struct Reply {
    int status = 0;
    json body;
    std::string etag;
};

Reply Get(const std::string& path, const httplib::Headers& headers = {})
{
    httplib::Client client("127.0.0.1", line->port);
    const auto res = client.Get(path.c_str(), headers);
    Reply r;
    if (!res)
        return r;
    r.status = res->status;
    r.etag = res->get_header_value("ETag");
    if (!res->body.empty() && res->get_header_value("Content-Type").find("json") != std::string::npos)
        r.body = json::parse(res->body);
    return r;
}

const std::string MARCH = "from=2026-03-01T00:00:00Z&to=2026-03-03T00:00:00Z";

json Find(const json& rows, const std::function<bool(const json&)>& match)
{
    for (const auto& r : rows)
        if (match(r))
            return r;
    return nullptr;
}
} // namespace

TEST(LineServer, YieldByStationAndShiftInThePlantsZone)
{
    struct Case {
        const char* zone;
        std::vector<std::tuple<std::string, std::string, int, int, int>> rows; // station date shift total passed
    };
    // S2's 03:00 UTC records belong to the night shift that began the day before in UTC, and to the
    // first shift of the day in UTC+8.
    const std::vector<Case> cases = {
        {"UTC",
         {{"S1", "2026-03-02", 1, 6, 4}, {"S2", "2026-03-01", 3, 3, 3}, {"S2", "2026-03-02", 2, 1, 0},
          {"S6", "2026-03-02", 1, 8, 8}}},
        {"Asia/Shanghai",
         {{"S1", "2026-03-02", 2, 6, 4}, {"S2", "2026-03-02", 1, 3, 3}, {"S2", "2026-03-02", 3, 1, 0},
          {"S6", "2026-03-02", 2, 8, 8}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zone);
        LineApi api(line->cluster.ConnInfo("web", "line_reader"), TestConfig(c.zone));
        const ApiReply reply = api.Handle("yield", {{"from", "2026-03-01T00:00:00Z"}, {"to", "2026-03-03T00:00:00Z"}});
        ASSERT_EQ(reply.status, 200) << reply.body;
        const json rows = json::parse(reply.body)["rows"];
        ASSERT_EQ(rows.size(), c.rows.size()) << rows.dump();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const auto& [station, date, shift, total, passed] = c.rows[i];
            EXPECT_EQ(rows[i]["station"], station);
            EXPECT_EQ(rows[i]["date"], date);
            EXPECT_EQ(rows[i]["shift"], shift);
            EXPECT_EQ(rows[i]["total"], total);
            EXPECT_EQ(rows[i]["passed"], passed);
        }
    }
}

TEST(LineServer, ParetoCountsFailingChannelsWithTheCumulativeShare)
{
    struct Case {
        std::string query;
        std::vector<std::tuple<int, int, double>> channels; // channel failures cumulative %
        int records, failed;
    };
    const std::vector<Case> cases = {
        {MARCH, {{3, 3, 75.0}, {0, 1, 100.0}}, 18, 3},
        {MARCH + "&station=S1", {{3, 2, 200.0 / 3}, {0, 1, 100.0}}, 6, 2},
        {MARCH + "&board=ST", {{3, 1, 100.0}}, 4, 1},
        {MARCH + "&station=S6", {}, 8, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        const Reply r = Get("/api/pareto?" + c.query);
        ASSERT_EQ(r.status, 200);
        EXPECT_EQ(r.body["records"], c.records);
        EXPECT_EQ(r.body["failed"], c.failed);
        ASSERT_EQ(r.body["channels"].size(), c.channels.size()) << r.body.dump();
        for (std::size_t i = 0; i < c.channels.size(); ++i) {
            EXPECT_EQ(r.body["channels"][i]["channel"], std::get<0>(c.channels[i]));
            EXPECT_EQ(r.body["channels"][i]["failures"], std::get<1>(c.channels[i]));
            EXPECT_NEAR(r.body["channels"][i]["cumulative_pct"].get<double>(), std::get<2>(c.channels[i]), 1e-9);
        }
    }
    // S1's failures sit at column 1: the cell map shows where they happen.
    const Reply s1 = Get("/api/pareto?" + MARCH + "&station=S1");
    const json cell = Find(s1.body["cells"], [](const json& c) { return c["column"] == 1; });
    ASSERT_FALSE(cell.is_null());
    EXPECT_EQ(cell["total"], 2);
    EXPECT_EQ(cell["failed"], 2);
}

TEST(LineServer, IndividualsChartLimitsRulesAndMarkers)
{
    // S1: 10 12 11 13 12 14, X̄ 12, MR̄ 8/5.
    const Reply s1 = Get("/api/channel?" + MARCH + "&station=S1&channel=5");
    ASSERT_EQ(s1.status, 200);
    EXPECT_EQ(s1.body["n"], 6);
    const json& l = s1.body["limits"];
    EXPECT_NEAR(l["center"].get<double>(), 12.0, 1e-9);
    EXPECT_NEAR(l["ucl"].get<double>(), 12.0 + 2.66 * 1.6, 1e-9);
    EXPECT_NEAR(l["lcl"].get<double>(), 12.0 - 2.66 * 1.6, 1e-9);
    EXPECT_NEAR(l["mr_center"].get<double>(), 1.6, 1e-9);
    EXPECT_NEAR(l["mr_ucl"].get<double>(), 3.267 * 1.6, 1e-9);
    EXPECT_EQ(s1.body["rules"], json::array({0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(s1.body["markers"], json::array());
    EXPECT_EQ(s1.body["upper_spec"][0], 20.0);

    // S6: 10 ×7 then 30; X̄ 12.5, MR̄ 20/7, so 30 lies beyond X̄ + 2.66·MR̄; the limits change at the fifth.
    const Reply s6 = Get("/api/channel?" + MARCH + "&station=S6&channel=0");
    ASSERT_EQ(s6.status, 200);
    EXPECT_NEAR(s6.body["limits"]["ucl"].get<double>(), 12.5 + 2.66 * 20.0 / 7.0, 1e-9);
    const json rules = s6.body["rules"];
    ASSERT_EQ(rules.size(), 8u);
    EXPECT_EQ(rules[7].get<int>() & 1, 1);
    for (std::size_t i = 0; i < 7; ++i)
        EXPECT_EQ(rules[i].get<int>() & 1, 0) << i;
    EXPECT_EQ(s6.body["markers"], json::parse(R"([{"index":4,"kinds":["limits"]}])"));
    EXPECT_EQ(s6.body["histogram"]["counts"][0], 7);
    EXPECT_EQ(s6.body["histogram"]["counts"][19], 1);
}

TEST(LineServer, CapabilityWithSigmaWithinAndOverallAndTheirIntervals)
{
    const Reply r = Get("/api/capability?" + MARCH + "&station=S1");
    ASSERT_EQ(r.status, 200);
    ASSERT_EQ(r.body["rows"].size(), 32u);
    const json row = Find(r.body["rows"], [](const json& c) { return c["channel"] == 7; });
    ASSERT_FALSE(row.is_null());
    // n 6, X̄ 12, s √2, MR̄ 1.6 → σ within 1.6/1.128; limits 0..20, so the nearer side is 8 away.
    const double cpk = 8.0 / (3.0 * 1.6 / 1.128), ppk = 8.0 / (3.0 * std::sqrt(2.0));
    EXPECT_EQ(row["n"], 6);
    EXPECT_NEAR(row["cpk"].get<double>(), cpk, 1e-9);
    EXPECT_NEAR(row["cpk"].get<double>(), 1.88, 1e-9);
    EXPECT_NEAR(row["ppk"].get<double>(), ppk, 1e-9);
    const double cpkHalf = 1.96 * std::sqrt(1.0 / 54.0 + cpk * cpk / 10.0);
    const double ppkHalf = 1.96 * std::sqrt(1.0 / 54.0 + ppk * ppk / 10.0);
    EXPECT_NEAR(row["cpk_ci"][0].get<double>(), 1.88 - 1.195369, 1e-5);
    EXPECT_NEAR(row["cpk_ci"][1].get<double>(), cpk + cpkHalf, 1e-9);
    EXPECT_NEAR(row["ppk_ci"][0].get<double>(), ppk - ppkHalf, 1e-9);
    EXPECT_EQ(row["limits_changed"], false);

    // S6's limits changed within the range: judged by the newest (0..200) and flagged.
    const Reply s6 = Get("/api/capability?" + MARCH + "&station=S6");
    const json six = Find(s6.body["rows"], [](const json& c) { return c["channel"] == 0; });
    EXPECT_EQ(six["usl"], 200.0);
    EXPECT_EQ(six["limits_changed"], true);
}

TEST(LineServer, StatusTilesShowExpectedSilentAndOfflineStations)
{
    const Reply r = Get("/api/status");
    ASSERT_EQ(r.status, 200);
    std::map<std::string, json> tiles;
    for (const auto& t : r.body["tiles"])
        tiles[t["station"]] = t;
    const std::vector<std::pair<std::string, std::string>> states = {
        {"S1", "idle"}, {"S2", "offline"}, {"S3", "offline"}, {"S4", "e-stop"}, {"S5", "running"},
        {"<img src=x onerror=alert(1)>", "idle"}};
    for (const auto& [station, state] : states) {
        ASSERT_TRUE(tiles.count(station)) << station;
        EXPECT_EQ(tiles[station]["state"], state) << station;
    }
    // S6 is not expected and forwarded last long ago: it is not a station of today's line.
    EXPECT_EQ(tiles.count("S6"), 0u);
    EXPECT_TRUE(tiles["S3"]["expected"]);
    EXPECT_TRUE(tiles["S3"]["last_seen_ms"].is_null());
    EXPECT_FALSE(tiles["S4"]["expected"]);
    EXPECT_EQ(tiles["S2"]["backlog"], 12);
    EXPECT_EQ(tiles["S2"]["config_differs"], true);
    EXPECT_EQ(tiles["S1"]["config_differs"], false);
    EXPECT_EQ(tiles["S5"]["shift_total"], 1);
    EXPECT_EQ(tiles["S5"]["last_pass"], true);

    const Reply only = Get("/api/status?station=S3");
    ASSERT_EQ(only.body["tiles"].size(), 1u);
}

TEST(LineServer, HealthShowsGapsClockSkewAndQuarantine)
{
    const Reply r = Get("/api/health?" + MARCH);
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(r.body["gaps"], json::parse(R"([{"station":"S1","station_db":"00000000-0000-7000-8000-000000000001",
                                              "first_missing":4,"last_missing":4}])"));
    ASSERT_EQ(r.body["future"].size(), 1u);
    EXPECT_EQ(r.body["future"][0]["station"], "S2");
    EXPECT_NEAR(r.body["future"][0]["max_ahead_s"].get<double>(), 600.0, 1e-6);
    const json s2 = Find(r.body["quarantine"], [](const json& q) { return q["station"] == "S2"; });
    EXPECT_EQ(s2["quarantined"], 2);
}

TEST(LineServer, BadRequestsAreRefusedWithAMessage)
{
    struct Case {
        std::string path;
        int status;
    };
    const std::vector<Case> cases = {
        {"/api/yield?from=yesterday", 400},
        {"/api/yield?from=2026-03-03&to=2026-03-02", 400},
        {"/api/yield?from=2026-03-01&from=2026-03-02", 400},
        {"/api/yield?from=2026-03-01'%20OR%201=1--", 400},
        {"/api/yield?limit=5", 400},
        {"/api/yield?station=a%0Ab", 400},
        {"/api/channel?channel=32", 400},
        {"/api/channel?channel=-1", 400},
        {"/api/channel?channel=1;DROP%20TABLE%20test_record", 400},
        {"/api/channel", 400},
        {"/api/status?from=2026-03-01", 400},
        {"/api/nothing", 404},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const Reply r = Get(c.path);
        EXPECT_EQ(r.status, c.status);
        ASSERT_TRUE(r.body.is_object());
        EXPECT_TRUE(r.body["error"].is_string());
    }
    // Only the page's own files: anything else, however spelled, is not served.
    for (const char* path : {"/../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/web/../line_api.cpp",
                             "/CMakeLists.txt", "/api/../../etc/passwd"}) {
        SCOPED_TRACE(path);
        const Reply r = Get(path);
        EXPECT_TRUE(r.status == 404 || r.status == 400 || r.status == 403) << r.status;
    }
    httplib::Client client("127.0.0.1", line->port);
    const auto post = client.Post("/api/yield", "", "application/json");
    ASSERT_TRUE(post);
    EXPECT_NE(post->status, 200);
}

TEST(LineServer, ReaderConnectionCanOnlySelect)
{
    // Even from the schema's owner, the server's sessions act as the reader role.
    pq::Connection conn;
    std::string error;
    ASSERT_TRUE(OpenReaderConnection(conn, line->cluster.ConnInfo("web"), &error)) << error;
    pq::Result who = conn.Exec("SELECT current_user");
    ASSERT_TRUE(who.Ok());
    EXPECT_EQ(who.Text(0, 0), "vorlaine_reader");
    for (const char* sql : {"DELETE FROM test_record", "UPDATE station_status SET backlog = 0",
                            "INSERT INTO limit_set (hash) VALUES ('\\x00')", "CREATE TABLE t (x int)"}) {
        SCOPED_TRACE(sql);
        EXPECT_FALSE(conn.Exec(sql).Ok());
    }
}

TEST(LineServer, PollingGetsNotModifiedUntilTheDataChange)
{
    const Reply first = Get("/api/yield?" + MARCH);
    ASSERT_EQ(first.status, 200);
    ASSERT_FALSE(first.etag.empty());
    EXPECT_EQ(Get("/api/yield?" + MARCH, {{"If-None-Match", first.etag}}).status, 304);
    EXPECT_EQ(Get("/api/yield?" + MARCH + "&station=S1", {{"If-None-Match", first.etag}}).status, 200);
}

TEST(LineServer, ConcurrentRequestsShareThePool)
{
    std::vector<std::thread> threads;
    std::atomic<int> ok{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (const char* view : {"status", "yield", "pareto", "capability", "health"})
                if (Get(std::string("/api/") + view).status == 200)
                    ++ok;
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(ok.load(), 20);
}

TEST(ControlRules, EachRuleMarksThePointThatCompletesItsRun)
{
    // X̄ 0 and MR̄ 1.128: σ within 1, control limits ±3.00048.
    const ImrLimits limits = ComputeImrLimits(0.0, 1.128);
    struct Case {
        const char* what;
        std::vector<double> x;
        std::vector<int> flags;
    };
    const std::vector<Case> cases = {
        {"beyond the upper limit", {0, 0, 3.5}, {0, 0, 1}},
        {"beyond 3σ but inside the drawn limit", {0, 3.0002}, {0, 0}},
        {"below the lower limit", {-3.1, 0}, {1, 0}},
        {"two of three beyond 2σ", {0, 2.5, 0, 2.5}, {0, 0, 0, 2}},
        {"two beyond 2σ on opposite sides", {0, 2.5, 0, -2.5}, {0, 0, 0, 0}},
        {"four of five beyond 1σ", {0, 1.5, 1.5, 0, 1.5, 1.5}, {0, 0, 0, 0, 0, 4}},
        {"eight in a row on one side", {0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5}, {0, 0, 0, 0, 0, 0, 0, 8}},
        {"seven in a row", {-0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5}, {0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WesternElectricRules(c.x, limits), c.flags) << c.what;
    EXPECT_EQ(WesternElectricRules({5, 5, 5}, ComputeImrLimits(5.0, 0.0)), (std::vector<int>{0, 0, 0}));
}

TEST(LineConfig, ParsesTheRegistryAndRefusesWhatItCannotTake)
{
    LineConfig c;
    std::string error;
    ASSERT_TRUE(ParseLineConfig("[Line]\r\n Time_Zone = Europe/Berlin \r\nshifts = 22:00,06:00\r\n[stations]\r\n"
                                "A = B\r\n  S 2 \r\nA = B\r\n",
                                &c, &error))
        << error;
    EXPECT_EQ(c.timeZone, "Europe/Berlin");
    EXPECT_EQ(c.shiftStarts, (std::vector<int>{360, 1320}));
    EXPECT_EQ(c.stations, (std::vector<std::string>{"A = B", "S 2"}));

    const LineConfig defaults;
    EXPECT_EQ(defaults.timeZone, "UTC");
    EXPECT_EQ(defaults.shiftStarts, (std::vector<int>{360, 840, 1320}));
    for (const char* bad : {"[line]\nshifts = 25:00\n", "[line]\nshifts = 06:00, 06:00\n", "[line]\nzone = UTC\n",
                            "stray\n", "[line]\noffline_after_s = 0\n"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(ParseLineConfig(bad, &c, &error));
    }
}
