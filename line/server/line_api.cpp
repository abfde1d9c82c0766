#include "line_api.h"

#include "channel_statistics.h"
#include "test_record.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <set>
#include <stdexcept>

using nlohmann::json;

namespace {
constexpr std::int64_t DEFAULT_RANGE_MS = 24LL * 3600 * 1000;
constexpr int CHANNEL_POINTS = 5000; // the newest points of a channel chart
constexpr int HISTOGRAM_BINS = 20;
constexpr int GAP_ROWS = 500;
constexpr int LISTED_DAYS = 7; // an unexpected station that stopped forwarding leaves the tiles after this

struct BadRequest : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct DatabaseError : std::runtime_error {
    DatabaseError(const std::string& what, bool data) : std::runtime_error(what), dataRefused(data) {}
    bool dataRefused;
};

// $1 from and $2 to in milliseconds since 1970, $3 the station names separated by newlines or NULL.
#define RANGE                                                                                         \
    " started_at >= to_timestamp($1::float8 / 1000) AND started_at < to_timestamp($2::float8 / 1000)" \
    " AND ($3::text IS NULL OR station = ANY (string_to_array($3::text, E'\\n'))) "

// The local time moved back by the first shift's start ($5 minutes), so that a shift's date is
// the date of its start and width_bucket over the starts' offsets ($6) numbers the shift from 1.
#define SHIFTED(ts) " ((" ts " AT TIME ZONE $4) - make_interval(mins => $5::int)) "
#define SHIFT_NO(shifted) \
    " width_bucket((extract(hour FROM " shifted ") * 60 + extract(minute FROM " shifted "))::int, $6::int[]) "

const char* const SQL_YIELD =
    "SELECT station, to_char(shifted, 'YYYY-MM-DD'), " SHIFT_NO("shifted") " AS shift, count(*),"
    " count(*) FILTER (WHERE pass)"
    " FROM (SELECT station, pass, " SHIFTED("started_at") " AS shifted FROM test_record WHERE " RANGE ") r"
    " GROUP BY 1, 2, 3 ORDER BY 1, 2, 3";

// $1 expected stations, $2 the days a station that forwarded stays listed, $3 the station filter;
// $4..$6 as for the shifts. Each station's newest
// heartbeat and record come through the (station, started_at) index.
const char* const SQL_STATUS =
    "WITH RECURSIVE cur AS (SELECT " SHIFTED("now()") " AS shifted),"
    " shift AS (SELECT ((shifted::date + make_interval(mins => $5::int + ($6::int[])[" SHIFT_NO("shifted") "]))"
    "   AT TIME ZONE $4) AS start FROM cur),"
    // The stations that ever forwarded, one index probe each rather than a scan of the records.
    " seen AS (SELECT min(station) AS station FROM test_record"
    "   UNION ALL SELECT (SELECT min(station) FROM test_record WHERE station > seen.station) FROM seen"
    "   WHERE seen.station IS NOT NULL),"
    " names AS (SELECT unnest(string_to_array($1::text, E'\\n')) AS station"
    "   UNION SELECT station FROM station_status"
    "   UNION SELECT station FROM seen WHERE station IS NOT NULL AND EXISTS (SELECT FROM test_record r"
    "     WHERE r.station = seen.station AND r.started_at > now() - make_interval(days => $2::int)))"
    " SELECT n.station, s.state, extract(epoch FROM now() - s.updated_at), s.backlog,"
    "  extract(epoch FROM s.oldest_unsent) * 1000, s.quarantined, s.config_hash, s.board_kind, s.board_identity,"
    "  extract(epoch FROM lr.ended_at) * 1000, extract(epoch FROM now() - lr.ended_at), lr.pass, lr.config_hash,"
    "  encode(lr.limit_set, 'hex'), y.total, y.passed, extract(epoch FROM (SELECT start FROM shift)) * 1000,"
    "  extract(epoch FROM s.updated_at) * 1000"
    " FROM names n"
    " LEFT JOIN LATERAL (SELECT * FROM station_status WHERE station = n.station ORDER BY updated_at DESC LIMIT 1) s"
    "   ON true"
    " LEFT JOIN LATERAL (SELECT ended_at, pass, config_hash, limit_set FROM test_record WHERE station = n.station"
    "   ORDER BY started_at DESC LIMIT 1) lr ON true"
    " LEFT JOIN LATERAL (SELECT count(*) AS total, count(*) FILTER (WHERE pass) AS passed FROM test_record"
    "   WHERE station = n.station AND started_at >= (SELECT start FROM shift)) y ON true"
    " WHERE $3::text IS NULL OR n.station = ANY (string_to_array($3::text, E'\\n'))"
    " ORDER BY n.station";

// $4 the board kind or NULL.
#define BOARD " AND ($4::text IS NULL OR board_kind = $4::text) "

const char* const SQL_PARETO =
    "WITH f AS (SELECT failing_channels FROM test_record WHERE " RANGE BOARD " AND NOT pass),"
    " c AS (SELECT ch, count(*) AS n FROM f CROSS JOIN generate_series(0, 31) AS ch"
    "   WHERE (f.failing_channels >> ch) & 1 = 1 GROUP BY ch)"
    " SELECT ch, n, 100.0 * sum(n) OVER (ORDER BY n DESC, ch) / sum(n) OVER () FROM c ORDER BY n DESC, ch";
const char* const SQL_PARETO_TOTALS =
    "SELECT count(*), count(*) FILTER (WHERE NOT pass) FROM test_record WHERE " RANGE BOARD;
const char* const SQL_CELL_MAP =
    "SELECT page, cell_column, cell_row, count(*), count(*) FILTER (WHERE NOT pass)"
    " FROM test_record WHERE " RANGE BOARD " GROUP BY 1, 2, 3 ORDER BY 1, 2, 3";
const char* const SQL_BOARDS =
    "SELECT DISTINCT board_kind FROM test_record WHERE " RANGE " ORDER BY 1";

// $4 the channel, counted from 1 as SQL arrays are.
const char* const SQL_CHANNEL =
    "SELECT * FROM (SELECT extract(epoch FROM started_at) * 1000 AS t, r.vals[$4::int], l.upper_limit[$4::int],"
    "  l.lower_limit[$4::int], r.config_hash, r.board_identity, encode(r.limit_set, 'hex'), r.station"
    "  FROM test_record r JOIN limit_set l ON l.hash = r.limit_set WHERE " RANGE
    "  ORDER BY started_at DESC LIMIT $5::int) x ORDER BY t";

// Mean, overall s and mean moving range of every station's channel, in time order per station: the
// previous record's values come along whole, so only the records are sorted, not every value.
const char* const SQL_CAPABILITY =
    "WITH r AS (SELECT station, vals, lag(vals) OVER (PARTITION BY station ORDER BY started_at) AS prev"
    "   FROM test_record WHERE " RANGE "),"
    " v AS (SELECT r.station, u.ch, u.x::float8 AS x, abs(u.x::float8 - u.p::float8) AS mr FROM r"
    "   CROSS JOIN LATERAL unnest(r.vals, r.prev) WITH ORDINALITY AS u(x, p, ch))"
    " SELECT station, ch - 1, count(*), avg(x), stddev_samp(x), avg(mr) FROM v GROUP BY station, ch"
    " ORDER BY ch, station";
// Each station's newest limits, and whether they changed within the range.
const char* const SQL_CAPABILITY_LIMITS =
    "SELECT station, (array_agg(limit_set ORDER BY started_at DESC))[1], count(DISTINCT limit_set)"
    " FROM test_record WHERE " RANGE " GROUP BY station";
const char* const SQL_LIMIT_SET =
    "SELECT array_to_string(upper_limit, ','), array_to_string(lower_limit, ',') FROM limit_set"
    " WHERE hash = decode($1, 'hex')";

const char* const SQL_GAPS =
    "SELECT station, station_db::text, prev + 1, local_seq - 1 FROM ("
    "  SELECT station, station_db, local_seq, lag(local_seq) OVER (PARTITION BY station_db ORDER BY local_seq) AS prev"
    "  FROM test_record WHERE " RANGE ") g"
    " WHERE local_seq - prev > 1 ORDER BY station, prev LIMIT $4::int";
// Stamped more than a minute after the line received it: the station's clock runs ahead.
const char* const SQL_FUTURE =
    "SELECT station, count(*), max(extract(epoch FROM started_at - received_at))"
    " FROM test_record WHERE started_at >= to_timestamp($1::float8 / 1000)"
    " AND ($2::text IS NULL OR station = ANY (string_to_array($2::text, E'\\n')))"
    " AND started_at > received_at + interval '1 minute' GROUP BY station ORDER BY station";
const char* const SQL_QUARANTINE =
    "SELECT station, sum(quarantined), sum(backlog) FROM station_status"
    " WHERE $1::text IS NULL OR station = ANY (string_to_array($1::text, E'\\n')) GROUP BY station ORDER BY station";

json Number(const pq::Result& r, int row, int column)
{
    if (r.IsNull(row, column))
        return nullptr;
    return std::strtod(r.Text(row, column).c_str(), nullptr);
}
json Text(const pq::Result& r, int row, int column)
{
    if (r.IsNull(row, column))
        return nullptr;
    return r.Text(row, column);
}
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
json Finite(double v)
{
    return std::isfinite(v) ? json(v) : json(nullptr);
}

std::vector<double> SplitNumbers(const std::string& text)
{
    std::vector<double> out;
    const char* p = text.c_str();
    while (*p) {
        char* end = nullptr;
        out.push_back(std::strtod(p, &end));
        p = *end == ',' ? end + 1 : end;
        if (end == p && *p)
            break;
    }
    return out;
}

// The query's parameters, checked against what the view takes.
class Query {
public:
    Query(const ApiParams& params, const std::vector<std::string>& allowed) : params_(params)
    {
        for (const auto& [key, value] : params)
            if (std::find(allowed.begin(), allowed.end(), key) == allowed.end())
                throw BadRequest("unknown parameter: " + key);
    }

    // from/to as ISO 8601; by default the last 24 hours.
    void Range(std::string* fromMs, std::string* toMs) const
    {
        std::int64_t to = NowUtcMs(), from = 0;
        if (const auto t = One("to"); t && !ParseUtc(*t, &to))
            throw BadRequest("to: not an ISO 8601 time");
        from = to - DEFAULT_RANGE_MS;
        if (const auto f = One("from"); f && !ParseUtc(*f, &from))
            throw BadRequest("from: not an ISO 8601 time");
        if (from >= to)
            throw BadRequest("from must be before to");
        *fromMs = std::to_string(from);
        *toMs = std::to_string(to);
    }

    // Repeated `station`, or one with names separated by commas; NULL for all stations.
    pq::Param Stations() const
    {
        std::string joined;
        bool any = false;
        const auto [b, e] = params_.equal_range("station");
        for (auto it = b; it != e; ++it) {
            if (it->second.empty())
                continue;
            if (it->second.size() > 4096 || it->second.find('\n') != std::string::npos)
                throw BadRequest("station: a name without line breaks");
            joined += (any ? "\n" : "") + it->second;
            any = true;
        }
        return any ? pq::Param(joined) : std::nullopt;
    }

    std::optional<std::string> One(const char* key) const
    {
        if (params_.count(key) > 1)
            throw BadRequest(std::string(key) + ": given more than once");
        const auto it = params_.find(key);
        if (it == params_.end() || it->second.empty())
            return std::nullopt;
        return it->second;
    }

    int Integer(const char* key, int low, int high) const
    {
        const auto v = One(key);
        if (!v)
            throw BadRequest(std::string(key) + ": required");
        char* end = nullptr;
        const long n = std::strtol(v->c_str(), &end, 10);
        if (end == v->c_str() || *end != '\0' || n < low || n > high)
            throw BadRequest(std::string(key) + ": a whole number from " + std::to_string(low) + " to " +
                             std::to_string(high));
        return static_cast<int>(n);
    }

private:
    const ApiParams& params_;
};

std::string IntArray(const std::vector<int>& v)
{
    std::string s = "{";
    for (std::size_t i = 0; i < v.size(); ++i)
        s += (i ? "," : "") + std::to_string(v[i]);
    return s + "}";
}

// The most common non-empty value, the smallest on a tie; what the line takes as its reference.
std::string Mode(const std::vector<std::string>& values)
{
    std::map<std::string, int> counts;
    for (const auto& v : values)
        if (!v.empty())
            ++counts[v];
    std::string best;
    int most = 0;
    for (const auto& [v, n] : counts)
        if (n > most) {
            best = v;
            most = n;
        }
    return best;
}

class Session {
public:
    explicit Session(pq::Connection& conn) : conn_(conn) {}
    pq::Result Run(const char* sql, const std::vector<pq::Param>& params)
    {
        pq::Result r = conn_.Exec(sql, params);
        if (!r.Ok())
            throw DatabaseError(pq::FirstLine(r.Error()), r.DataRefused());
        return r;
    }

private:
    pq::Connection& conn_;
};

json ShiftParams(const LineConfig& c, std::vector<pq::Param>* params)
{
    std::vector<int> offsets;
    for (int s : c.shiftStarts)
        offsets.push_back(s - c.shiftStarts.front());
    params->push_back(c.timeZone);
    params->push_back(std::to_string(c.shiftStarts.front()));
    params->push_back(IntArray(offsets));
    json starts = json::array();
    for (int s : c.shiftStarts) {
        char hhmm[8];
        std::snprintf(hhmm, sizeof hhmm, "%02d:%02d", s / 60 % 24, s % 60);
        starts.push_back(hhmm);
    }
    return starts;
}

std::string ExpectedText(const LineConfig& c)
{
    std::string s;
    for (std::size_t i = 0; i < c.stations.size(); ++i)
        s += (i ? "\n" : "") + c.stations[i];
    return s;
}

json Yield(Session& db, const Query& q, const LineConfig& c)
{
    std::string from, to;
    q.Range(&from, &to);
    std::vector<pq::Param> p{from, to, q.Stations()};
    const json starts = ShiftParams(c, &p);
    const pq::Result r = db.Run(SQL_YIELD, p);
    json rows = json::array();
    for (int i = 0; i < r.Rows(); ++i) {
        const double total = std::strtod(r.Text(i, 3).c_str(), nullptr);
        const double passed = std::strtod(r.Text(i, 4).c_str(), nullptr);
        rows.push_back({{"station", r.Text(i, 0)}, {"date", r.Text(i, 1)}, {"shift", Number(r, i, 2)},
                        {"total", total}, {"passed", passed}, {"yield", total > 0 ? 100.0 * passed / total : 0.0}});
    }
    return {{"shifts", starts}, {"expected", c.stations}, {"rows", rows}};
}

json Status(Session& db, const Query& q, const LineConfig& c)
{
    std::vector<pq::Param> p{ExpectedText(c), std::to_string(LISTED_DAYS), q.Stations()};
    ShiftParams(c, &p);
    const pq::Result r = db.Run(SQL_STATUS, p);
    std::vector<std::string> configs, limits;
    for (int i = 0; i < r.Rows(); ++i) {
        configs.push_back(r.IsNull(i, 6) ? (r.IsNull(i, 12) ? "" : r.Text(i, 12)) : r.Text(i, 6));
        limits.push_back(r.IsNull(i, 13) ? "" : r.Text(i, 13));
    }
    const std::string refConfig = Mode(configs), refLimits = Mode(limits);
    json tiles = json::array();
    for (int i = 0; i < r.Rows(); ++i) {
        const bool heartbeat = !r.IsNull(i, 2);
        const double heartbeatAge = heartbeat ? std::strtod(r.Text(i, 2).c_str(), nullptr) : 0.0;
        const double recordAge = r.IsNull(i, 10) ? 1e300 : std::strtod(r.Text(i, 10).c_str(), nullptr);
        const std::string hbState = heartbeat ? r.Text(i, 1) : "";
        std::string state;
        if (!heartbeat || heartbeatAge > c.offlineAfterS || hbState == "stopped")
            state = "offline";
        else if (hbState == "e-stop" || hbState == "estop")
            state = "e-stop";
        else
            state = recordAge <= 2.0 * c.offlineAfterS ? "running" : "idle";
        const double total = r.IsNull(i, 14) ? 0 : std::strtod(r.Text(i, 14).c_str(), nullptr);
        const double passed = r.IsNull(i, 15) ? 0 : std::strtod(r.Text(i, 15).c_str(), nullptr);
        const json lastHeartbeat = Number(r, i, 17), lastRecord = Number(r, i, 9);
        json lastSeen = lastHeartbeat;
        if (lastSeen.is_null() || (!lastRecord.is_null() && lastRecord.get<double>() > lastSeen.get<double>()))
            lastSeen = lastRecord;
        tiles.push_back({
            {"station", r.Text(i, 0)},
            {"state", state},
            {"sync", Text(r, i, 1)},
            {"last_seen_ms", lastSeen},
            {"last_pass", r.IsNull(i, 11) ? json(nullptr) : json(r.Text(i, 11) == "t")},
            {"shift_total", total},
            {"shift_passed", passed},
            {"shift_yield", total > 0 ? json(100.0 * passed / total) : json(nullptr)},
            {"backlog", Number(r, i, 3)},
            {"oldest_unsent_ms", Number(r, i, 4)},
            {"quarantined", Number(r, i, 5)},
            {"board_kind", Text(r, i, 7)},
            {"board_identity", Text(r, i, 8)},
            {"expected", std::find(c.stations.begin(), c.stations.end(), r.Text(i, 0)) != c.stations.end()},
            {"config_differs", !configs[static_cast<std::size_t>(i)].empty() && configs[static_cast<std::size_t>(i)] != refConfig},
            {"limits_differ", !limits[static_cast<std::size_t>(i)].empty() && limits[static_cast<std::size_t>(i)] != refLimits},
        });
    }
    return {{"tiles", tiles}, {"shift_start_ms", r.Rows() ? Number(r, 0, 16) : json(nullptr)},
            {"reference_config", refConfig}};
}

json Pareto(Session& db, const Query& q)
{
    std::string from, to;
    q.Range(&from, &to);
    const std::vector<pq::Param> p{from, to, q.Stations(), q.One("board")};
    const pq::Result pareto = db.Run(SQL_PARETO, p);
    const pq::Result totals = db.Run(SQL_PARETO_TOTALS, p);
    const pq::Result cells = db.Run(SQL_CELL_MAP, p);
    const pq::Result boards = db.Run(SQL_BOARDS, {from, to, q.Stations()});
    json channels = json::array(), map = json::array(), kinds = json::array();
    for (int i = 0; i < pareto.Rows(); ++i)
        channels.push_back({{"channel", Number(pareto, i, 0)}, {"failures", Number(pareto, i, 1)},
                            {"cumulative_pct", Number(pareto, i, 2)}});
    for (int i = 0; i < cells.Rows(); ++i)
        map.push_back({{"page", Number(cells, i, 0)}, {"column", Number(cells, i, 1)}, {"row", Number(cells, i, 2)},
                       {"total", Number(cells, i, 3)}, {"failed", Number(cells, i, 4)}});
    for (int i = 0; i < boards.Rows(); ++i)
        kinds.push_back(boards.Text(i, 0));
    return {{"records", Number(totals, 0, 0)}, {"failed", Number(totals, 0, 1)}, {"channels", channels},
            {"cells", map}, {"boards", kinds}};
}

json Channel(Session& db, const Query& q)
{
    std::string from, to;
    q.Range(&from, &to);
    const int channel = q.Integer("channel", 0, 31);
    const pq::Result r =
        db.Run(SQL_CHANNEL, {from, to, q.Stations(), std::to_string(channel + 1), std::to_string(CHANNEL_POINTS)});
    const int n = r.Rows();
    std::vector<double> x(static_cast<std::size_t>(n));
    json t = json::array(), vals = json::array(), upper = json::array(), lower = json::array(),
         markers = json::array();
    for (int i = 0; i < n; ++i) {
        x[static_cast<std::size_t>(i)] = std::strtod(r.Text(i, 1).c_str(), nullptr);
        t.push_back(Number(r, i, 0));
        vals.push_back(x[static_cast<std::size_t>(i)]);
        upper.push_back(Number(r, i, 2));
        lower.push_back(Number(r, i, 3));
        if (i > 0) {
            json kinds = json::array();
            if (r.Text(i, 6) != r.Text(i - 1, 6))
                kinds.push_back("limits");
            if (r.Text(i, 4) != r.Text(i - 1, 4))
                kinds.push_back("config");
            if (r.Text(i, 5) != r.Text(i - 1, 5))
                kinds.push_back("board");
            if (!kinds.empty())
                markers.push_back({{"index", i}, {"kinds", kinds}});
        }
    }
    json out = {{"channel", channel}, {"n", n}, {"t_ms", t}, {"values", vals}, {"upper_spec", upper},
                {"lower_spec", lower}, {"markers", markers}};
    if (n == 0)
        return out;
    double sum = 0, mrSum = 0;
    json mr = json::array({nullptr});
    for (std::size_t i = 0; i < x.size(); ++i) {
        sum += x[i];
        if (i > 0) {
            mrSum += std::abs(x[i] - x[i - 1]);
            mr.push_back(std::abs(x[i] - x[i - 1]));
        }
    }
    const double mean = sum / n;
    const ImrLimits lim = ComputeImrLimits(mean, n > 1 ? mrSum / (n - 1) : 0.0);
    out["moving_range"] = mr;
    out["limits"] = {{"center", lim.center}, {"ucl", lim.upper}, {"lcl", lim.lower},
                     {"mr_center", lim.rangeCenter}, {"mr_ucl", lim.rangeUpper}, {"sigma_within", lim.sigmaWithin}};
    out["rules"] = WesternElectricRules(x, lim);

    const auto [lo, hi] = std::minmax_element(x.begin(), x.end());
    const double width = *hi > *lo ? (*hi - *lo) / HISTOGRAM_BINS : 1.0;
    std::vector<int> bins(HISTOGRAM_BINS, 0);
    for (double v : x)
        ++bins[static_cast<std::size_t>(std::min(HISTOGRAM_BINS - 1, static_cast<int>((v - *lo) / width)))];
    out["histogram"] = {{"low", *lo}, {"width", width}, {"counts", bins}};
    return out;
}

json Capability(Session& db, const Query& q)
{
    std::string from, to;
    q.Range(&from, &to);
    const std::vector<pq::Param> p{from, to, q.Stations()};
    const pq::Result limits = db.Run(SQL_CAPABILITY_LIMITS, p);
    struct Spec {
        std::vector<double> upper, lower;
        bool changed = false;
    };
    std::map<std::string, Spec> specs;
    for (int i = 0; i < limits.Rows(); ++i) {
        // The newest limits judge the whole range; a station whose limits changed within it says so.
        const pq::Result set = db.Run(SQL_LIMIT_SET, {limits.Text(i, 1).substr(2)});
        if (set.Rows() != 1)
            continue;
        specs[limits.Text(i, 0)] = {SplitNumbers(set.Text(0, 0)), SplitNumbers(set.Text(0, 1)),
                                    limits.Text(i, 2) != "1"};
    }
    const pq::Result r = db.Run(SQL_CAPABILITY, p);
    json rows = json::array();
    for (int i = 0; i < r.Rows(); ++i) {
        const std::string station = r.Text(i, 0);
        const auto ch = static_cast<std::size_t>(std::stoi(r.Text(i, 1)));
        const int n = std::stoi(r.Text(i, 2));
        const double mean = std::strtod(r.Text(i, 3).c_str(), nullptr);
        const double s = r.IsNull(i, 4) ? NaN : std::strtod(r.Text(i, 4).c_str(), nullptr);
        const double mrBar = r.IsNull(i, 5) ? NaN : std::strtod(r.Text(i, 5).c_str(), nullptr);
        json row = {{"station", station}, {"channel", ch}, {"n", n}, {"mean", mean}, {"s", Finite(s)},
                    {"mr_bar", Finite(mrBar)}};
        const auto spec = specs.find(station);
        if (spec != specs.end() && ch < spec->second.upper.size() && ch < spec->second.lower.size()) {
            const double up = spec->second.upper[ch], low = spec->second.lower[ch];
            const double within = std::isnan(mrBar) ? NaN : ComputeImrLimits(mean, mrBar).sigmaWithin;
            const double cpk = std::isnan(within) ? NaN : CapabilityIndex(mean, within, up, low).value_or(NaN);
            const double ppk = std::isnan(s) ? NaN : CapabilityIndex(mean, s, up, low).value_or(NaN);
            auto interval = [n](double index) {
                if (std::isnan(index))
                    return json(nullptr);
                const auto ci = CapabilityInterval95(index, n);
                return ci ? json::array({ci->low, ci->high}) : json(nullptr);
            };
            row["usl"] = up;
            row["lsl"] = low;
            row["cpk"] = Finite(cpk);
            row["cpk_ci"] = interval(cpk);
            row["ppk"] = Finite(ppk);
            row["ppk_ci"] = interval(ppk);
            row["limits_changed"] = spec->second.changed;
        }
        rows.push_back(row);
    }
    return {{"rows", rows}, {"min_n", 30}, {"capable", CPK_CAPABLE}, {"good", 1.67}};
}

json Health(Session& db, const Query& q)
{
    std::string from, to;
    q.Range(&from, &to);
    const pq::Param stations = q.Stations();
    const pq::Result gaps = db.Run(SQL_GAPS, {from, to, stations, std::to_string(GAP_ROWS)});
    const pq::Result future = db.Run(SQL_FUTURE, {from, stations});
    const pq::Result quarantine = db.Run(SQL_QUARANTINE, {stations});
    json g = json::array(), f = json::array(), qu = json::array();
    for (int i = 0; i < gaps.Rows(); ++i)
        g.push_back({{"station", gaps.Text(i, 0)}, {"station_db", gaps.Text(i, 1)}, {"first_missing", Number(gaps, i, 2)},
                     {"last_missing", Number(gaps, i, 3)}});
    for (int i = 0; i < future.Rows(); ++i)
        f.push_back({{"station", future.Text(i, 0)}, {"records", Number(future, i, 1)},
                     {"max_ahead_s", Number(future, i, 2)}});
    for (int i = 0; i < quarantine.Rows(); ++i)
        qu.push_back({{"station", quarantine.Text(i, 0)}, {"quarantined", Number(quarantine, i, 1)},
                      {"backlog", Number(quarantine, i, 2)}});
    return {{"gaps", g}, {"gaps_truncated", gaps.Rows() >= GAP_ROWS}, {"future", f}, {"quarantine", qu}};
}

json Config(const LineConfig& c)
{
    std::vector<pq::Param> unused;
    return {{"stations", c.stations}, {"time_zone", c.timeZone}, {"shifts", ShiftParams(c, &unused)},
            {"offline_after_s", c.offlineAfterS}};
}

ApiReply Error(int status, const std::string& message)
{
    return {status, json{{"error", message}}.dump(-1, ' ', false, json::error_handler_t::replace)};
}
} // namespace

bool OpenReaderConnection(pq::Connection& conn, const std::string& conninfo, std::string* error)
{
    if (!conn.Open(conninfo, 10, error))
        return false;
    pq::Result r = conn.Exec("SET SESSION ROLE vorlaine_reader;"
                             " SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY;"
                             " SET statement_timeout = '30s';"
                             // The views' queries run in milliseconds; compiling them would take longer.
                             " SET jit = off");
    if (!r.Ok()) {
        *error = "cannot act as vorlaine_reader: " + pq::FirstLine(r.Error());
        conn.Close();
        return false;
    }
    return true;
}

LineApi::LineApi(std::string conninfo, LineConfig config) : conninfo_(std::move(conninfo)), config_(std::move(config)) {}

std::unique_ptr<pq::Connection> LineApi::Acquire(std::string* error)
{
    {
        std::lock_guard lock(mutex_);
        if (!idle_.empty()) {
            auto conn = std::move(idle_.back());
            idle_.pop_back();
            return conn;
        }
    }
    auto conn = std::make_unique<pq::Connection>();
    if (!OpenReaderConnection(*conn, conninfo_, error))
        return nullptr;
    return conn;
}

void LineApi::Release(std::unique_ptr<pq::Connection> conn)
{
    if (!conn || !conn->IsOpen())
        return;
    std::lock_guard lock(mutex_);
    idle_.push_back(std::move(conn));
}

ApiReply LineApi::Handle(const std::string& view, const ApiParams& params)
{
    using View = json (*)(Session&, const Query&, const LineConfig&);
    static const std::map<std::string, std::pair<View, std::vector<std::string>>> views = {
        {"status", {[](Session& s, const Query& q, const LineConfig& c) { return Status(s, q, c); }, {"station"}}},
        {"yield", {[](Session& s, const Query& q, const LineConfig& c) { return Yield(s, q, c); }, {"from", "to", "station"}}},
        {"pareto", {[](Session& s, const Query& q, const LineConfig&) { return Pareto(s, q); }, {"from", "to", "station", "board"}}},
        {"channel", {[](Session& s, const Query& q, const LineConfig&) { return Channel(s, q); }, {"from", "to", "station", "channel"}}},
        {"capability", {[](Session& s, const Query& q, const LineConfig&) { return Capability(s, q); }, {"from", "to", "station"}}},
        {"health", {[](Session& s, const Query& q, const LineConfig&) { return Health(s, q); }, {"from", "to", "station"}}},
    };
    try {
        if (view == "config") {
            const Query none(params, {});
            return {200, Config(config_).dump(-1, ' ', false, json::error_handler_t::replace)};
        }
        const auto it = views.find(view);
        if (it == views.end())
            return Error(404, "no such view: " + view);
        const Query query(params, it->second.second);
        std::string error;
        auto conn = Acquire(&error);
        if (!conn)
            return Error(503, "line database: " + pq::FirstLine(error));
        json body;
        try {
            Session session(*conn);
            body = it->second.first(session, query, config_);
        } catch (...) {
            Release(std::move(conn));
            throw;
        }
        Release(std::move(conn));
        return {200, body.dump(-1, ' ', false, json::error_handler_t::replace)};
    } catch (const BadRequest& e) {
        return Error(400, e.what());
    } catch (const DatabaseError& e) {
        // A value the server refuses (a time zone it does not know, a number out of range) is the
        // request's fault; anything else is the line's.
        return Error(e.dataRefused ? 400 : 503, e.what());
    }
}
