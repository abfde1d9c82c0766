#include "line_forwarder.h"

#include "pq.h"

#include <QCryptographicHash>
#include <QDateTime>

#include <algorithm>
#include <charconv>
#include <map>
#include <random>
#include <set>
#include <utility>

namespace {
using Clock = std::chrono::steady_clock;
using Refused = std::vector<std::pair<std::int64_t, std::string>>;

constexpr const char* INSERT_LIMIT_SET =
    "INSERT INTO limit_set (hash, upper_limit, lower_limit, reference, mask, range_high, range_low) "
    "VALUES ($1, $2, $3, $4, $5, $6, $7) ON CONFLICT DO NOTHING";
constexpr const char* INSERT_RECORD =
    "INSERT INTO test_record (record_uuid, started_at, ended_at, station_db, local_seq, station, board_kind, "
    "board_identity, page, cell_column, cell_row, pass, failing_channels, passes, vals, limit_set, config_hash) "
    "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, $16, $17) ON CONFLICT DO NOTHING";
constexpr const char* HEARTBEAT = "SELECT line_heartbeat($1::uuid, $2, $3, $4, $5, $6, $7, $8::bigint, "
                                  "$9::timestamptz, $10::bigint)";

template <typename Array> std::string ArrayText(const Array& values)
{
    std::string text = "{";
    for (std::size_t k = 0; k < values.size(); ++k) {
        if (k)
            text += ',';
        text += std::to_string(values[k]);
    }
    return text + "}";
}

// Shortest text that reads back as the same double.
std::string DoubleText(double v)
{
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
    return std::string(buffer, end);
}

int MonthOf(std::int64_t ms)
{
    const QDate d = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).date();
    return d.year() * 12 + d.month();
}

// The limit set's parameters; the first is the hash of the others, as bytea text.
std::vector<pq::Param> LimitSetParams(const TestRecord& r)
{
    std::vector<pq::Param> p = {std::string(), ArrayText(r.upperLimit), ArrayText(r.lowerLimit),
                                ArrayText(r.reference), ArrayText(r.mask), DoubleText(r.rangeHigh),
                                DoubleText(r.rangeLow)};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (std::size_t k = 1; k < p.size(); ++k) {
        hash.addData(QByteArrayView(p[k]->data(), static_cast<qsizetype>(p[k]->size())));
        hash.addData(QByteArrayView("\n", 1));
    }
    p[0] = "\\x" + hash.result().toHex().toStdString();
    return p;
}

std::vector<pq::Param> RecordParams(const TestRecord& r, const std::string& limitSet, const std::string& stationDb)
{
    return {r.recordUuid,
            FormatUtc(r.startMs),
            FormatUtc(r.endMs),
            stationDb,
            std::to_string(r.localSeq),
            r.stationId,
            r.boardKind,
            r.boardIdentity,
            std::to_string(r.page),
            std::to_string(r.column),
            std::to_string(r.row),
            std::string(r.pass ? "t" : "f"),
            std::to_string(r.failingChannels),
            std::to_string(r.passes),
            ArrayText(r.values),
            limitSet,
            r.configHash};
}

// One connection to the line and what is known to be there already.
struct Session {
    pq::Connection conn;
    std::set<std::string> limitSets;
    std::set<int> months;

    bool Open(const LineOptions& o, std::string* error)
    {
        limitSets.clear();
        months.clear();
        return conn.Open(o.conninfo, o.connectTimeoutS, error) &&
               conn.Prepare("limit_set", INSERT_LIMIT_SET, error) && conn.Prepare("record", INSERT_RECORD, error);
    }
};

enum class Outcome { Committed, DataRefused, LineDown };

// "INSERT INTO table (columns) VALUES ($1, ..., $n), ($n+1, ...) ON CONFLICT DO NOTHING": the shape
// depends on the row count only, the values all go as parameters.
std::string MultiRowInsert(const char* head, std::size_t columns, std::size_t rows)
{
    std::string sql = head;
    std::size_t n = 0;
    for (std::size_t row = 0; row < rows; ++row) {
        sql += row ? ", (" : " VALUES (";
        for (std::size_t c = 0; c < columns; ++c)
            sql += (c ? ", $" : "$") + std::to_string(++n);
        sql += ')';
    }
    return sql + " ON CONFLICT DO NOTHING";
}

constexpr const char* LIMIT_SET_HEAD =
    "INSERT INTO limit_set (hash, upper_limit, lower_limit, reference, mask, range_high, range_low)";
constexpr const char* RECORD_HEAD =
    "INSERT INTO test_record (record_uuid, started_at, ended_at, station_db, local_seq, station, board_kind, "
    "board_identity, page, cell_column, cell_row, pass, failing_channels, passes, vals, limit_set, config_hash)";

// One line transaction for `records`. Without savepoints the batch goes as two statements and a
// refused record rolls back the lot (DataRefused); with them each record goes alone, a refused
// one is set aside in `refused` and the others go on.
Outcome Transfer(Session& s, const std::vector<const TestRecord*>& records, bool savepoints,
                 const std::string& stationDb, std::vector<std::int64_t>* sent, Refused* refused,
                 std::string* reason)
{
    auto down = [&](const pq::Result& r) {
        *reason = r.SqlState().empty() ? s.conn.LastError() : r.Error();
        s.conn.Exec("ROLLBACK");
        return Outcome::LineDown;
    };
    pq::Result r = s.conn.Exec("BEGIN");
    if (!r.Ok())
        return down(r);
    std::set<std::string> added;
    if (!savepoints) {
        std::vector<pq::Param> limitParams, recordParams;
        std::size_t limitRows = 0;
        for (const TestRecord* record : records) {
            std::vector<pq::Param> limits = LimitSetParams(*record);
            const std::string hash = *limits[0];
            if (!s.limitSets.contains(hash) && added.insert(hash).second) {
                limitParams.insert(limitParams.end(), limits.begin(), limits.end());
                ++limitRows;
            }
            const std::vector<pq::Param> row = RecordParams(*record, hash, stationDb);
            recordParams.insert(recordParams.end(), row.begin(), row.end());
        }
        bool ok = limitRows == 0 ||
                  (r = s.conn.Exec(MultiRowInsert(LIMIT_SET_HEAD, 7, limitRows).c_str(), limitParams)).Ok();
        ok = ok && (r = s.conn.Exec(MultiRowInsert(RECORD_HEAD, 17, records.size()).c_str(), recordParams)).Ok();
        if (!ok) {
            if (!r.DataRefused() || !s.conn.IsOpen())
                return down(r);
            s.conn.Exec("ROLLBACK");
            return Outcome::DataRefused;
        }
        for (const TestRecord* record : records)
            sent->push_back(record->localSeq);
    } else {
        for (const TestRecord* record : records) {
            if (!(r = s.conn.Exec("SAVEPOINT record")).Ok())
                return down(r);
            const std::vector<pq::Param> limits = LimitSetParams(*record);
            const std::string& hash = *limits[0];
            const bool fresh = !s.limitSets.contains(hash) && !added.contains(hash);
            bool ok = !fresh || (r = s.conn.ExecPrepared("limit_set", limits)).Ok();
            ok = ok && (r = s.conn.ExecPrepared("record", RecordParams(*record, hash, stationDb))).Ok();
            if (ok) {
                if (fresh)
                    added.insert(hash);
                if (!(r = s.conn.Exec("RELEASE SAVEPOINT record")).Ok())
                    return down(r);
                sent->push_back(record->localSeq);
                continue;
            }
            if (!r.DataRefused() || !s.conn.IsOpen())
                return down(r);
            refused->emplace_back(record->localSeq, r.Error());
            if (!(r = s.conn.Exec("ROLLBACK TO SAVEPOINT record")).Ok())
                return down(r);
        }
    }
    if (!(r = s.conn.Exec("COMMIT")).Ok())
        return down(r);
    s.limitSets.insert(added.begin(), added.end());
    return Outcome::Committed;
}

// Sends a batch: true when the line has committed it, with what was sent and what refused.
bool SendBatch(Session& s, const std::vector<TestRecord>& batch, const std::string& stationDb,
               std::vector<std::int64_t>* sent, Refused* refused, std::string* reason)
{
    std::vector<const TestRecord*> todo;
    std::map<int, std::string> badMonths;
    for (const TestRecord& r : batch) {
        const int month = MonthOf(r.startMs);
        if (!s.months.contains(month) && !badMonths.contains(month)) {
            // Outside the batch's transaction: the partition's lock is held only while it is made.
            pq::Result made = s.conn.Exec("SELECT line_ensure_partition($1)", {FormatUtc(r.startMs)});
            if (made.Ok())
                s.months.insert(month);
            else if (made.DataRefused())
                badMonths[month] = made.Error();
            else {
                *reason = made.SqlState().empty() ? s.conn.LastError() : made.Error();
                return false;
            }
        }
        if (const auto bad = badMonths.find(month); bad != badMonths.end())
            refused->emplace_back(r.localSeq, bad->second);
        else
            todo.push_back(&r);
    }
    if (todo.empty())
        return true;
    const std::size_t refusedBefore = refused->size();
    Outcome o = Transfer(s, todo, false, stationDb, sent, refused, reason);
    if (o == Outcome::DataRefused) {
        sent->clear();
        refused->resize(refusedBefore);
        o = Transfer(s, todo, true, stationDb, sent, refused, reason);
    }
    return o == Outcome::Committed;
}

std::chrono::milliseconds Jittered(std::chrono::milliseconds delay)
{
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<std::int64_t> half(delay.count() / 2, delay.count());
    return std::chrono::milliseconds(half(random));
}

const char* StateName(LineStatus::State s)
{
    switch (s) {
    case LineStatus::State::Synced: return "synced";
    case LineStatus::State::Pending: return "pending";
    case LineStatus::State::Unreachable: return "unreachable";
    case LineStatus::State::Off: break;
    }
    return "stopped";
}
} // namespace

LineForwarder::LineForwarder(LineOptions options) : options_(std::move(options)) {}

LineForwarder::~LineForwarder()
{
    Stop();
}

void LineForwarder::Start()
{
    Stop();
    {
        std::lock_guard lock(mutex_);
        stop_ = false;
        status_ = LineStatus{};
        status_.state = LineStatus::State::Pending;
    }
    thread_ = std::thread([this] { Run(); });
}

void LineForwarder::Stop()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
    std::lock_guard lock(mutex_);
    status_.state = LineStatus::State::Off;
}

void LineForwarder::Wake()
{
    {
        std::lock_guard lock(mutex_);
        poked_ = true;
    }
    wake_.notify_all();
}

bool LineForwarder::Flush(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    if (!thread_.joinable() || stop_)
        return false;
    const std::uint64_t want = ++flushAsked_;
    poked_ = true;
    wake_.notify_all();
    flushed_.wait_for(lock, timeout, [&] {
        return flushDone_ >= want || status_.state == LineStatus::State::Unreachable;
    });
    return flushDone_ >= want;
}

LineStatus LineForwarder::Status() const
{
    std::lock_guard lock(mutex_);
    return status_;
}

void LineForwarder::SetBoard(std::string kind, std::string identity)
{
    std::lock_guard lock(mutex_);
    heartbeat_.boardKind = std::move(kind);
    heartbeat_.boardIdentity = std::move(identity);
}

void LineForwarder::SetConfigHash(std::string hash)
{
    std::lock_guard lock(mutex_);
    heartbeat_.configHash = std::move(hash);
}

void LineForwarder::SetStationState(std::string state)
{
    std::lock_guard lock(mutex_);
    heartbeat_.stationState = std::move(state);
}

void LineForwarder::Wait(Clock::time_point until)
{
    std::unique_lock lock(mutex_);
    wake_.wait_until(lock, until, [&] { return stop_ || poked_; });
    poked_ = false;
}

void LineForwarder::Publish(const LineStatus& status)
{
    {
        std::lock_guard lock(mutex_);
        status_ = status;
    }
    flushed_.notify_all(); // a flush waits in vain once the line is down
}

void LineForwarder::Run()
{
    RecordStore store;
    Session session;
    LineStatus status;
    status.state = LineStatus::State::Pending;
    auto retryDelay = options_.firstRetry;
    auto nextConnect = Clock::now();
    auto nextHeartbeat = Clock::now();
    auto nextPrune = Clock::now();
    std::string error;
    auto stopping = [&] {
        std::lock_guard lock(mutex_);
        return stop_;
    };
    auto heartbeat = [&](const char* state) {
        Heartbeat h;
        {
            std::lock_guard lock(mutex_);
            h = heartbeat_;
        }
        const pq::Param oldest =
            status.backlog > 0 ? pq::Param(FormatUtc(status.oldestUnsentMs)) : pq::Param(std::nullopt);
        pq::Result r = session.conn.Exec(
            HEARTBEAT, {store.StationDb(), options_.station,
                        h.stationState.empty() || std::string(state) == "stopped" ? std::string(state) : h.stationState,
                        h.boardKind, h.boardIdentity,
                        h.configHash, options_.programVersion, std::to_string(status.backlog), oldest,
                        std::to_string(status.quarantined)});
        return r.Ok();
    };
    auto lineDown = [&](const std::string& reason) {
        session.conn.Close();
        status.state = LineStatus::State::Unreachable;
        status.reason = reason;
        nextConnect = Clock::now() + Jittered(retryDelay);
        retryDelay = std::min(retryDelay * 2, options_.maxRetry);
    };

    while (!stopping()) {
        if (!store.IsOpen() && !(store.Open(options_.storePath, false, &error, 5000) && store.RelaxSync(&error))) {
            store.Close();
            status.reason = options_.storePath + ": " + error;
            Publish(status);
            Wait(Clock::now() + options_.maxRetry / 10);
            continue;
        }
        std::uint64_t flushAsked = 0; // flush requests this cycle's look at the outbox answers
        {
            std::lock_guard lock(mutex_);
            flushAsked = flushAsked_;
        }
        RecordStore::Backlog backlog;
        if (!store.GetBacklog(&backlog, &error)) {
            status.reason = options_.storePath + ": " + error;
            store.Close();
            Publish(status);
            Wait(Clock::now() + options_.poll);
            continue;
        }
        status.backlog = backlog.unsent;
        status.oldestUnsentMs = backlog.oldestStartMs;
        status.quarantined = backlog.quarantined;

        if (!session.conn.IsOpen()) {
            if (Clock::now() < nextConnect) {
                Publish(status);
                Wait(nextConnect);
                continue;
            }
            if (!session.Open(options_, &error)) {
                lineDown(error);
                Publish(status);
                continue;
            }
            retryDelay = options_.firstRetry;
            status.reason.clear();
        }
        status.state = backlog.unsent > 0 ? LineStatus::State::Pending : LineStatus::State::Synced;
        Publish(status);

        if (Clock::now() >= nextHeartbeat) {
            if (!heartbeat(StateName(status.state))) {
                lineDown(session.conn.LastError());
                Publish(status);
                continue;
            }
            nextHeartbeat = Clock::now() + options_.heartbeat;
        }
        if (options_.pruneSentAfter.count() > 0 && Clock::now() >= nextPrune) {
            std::int64_t removed = 0;
            store.PruneSent(NowUtcMs() - options_.pruneSentAfter.count(), &removed, &error);
            nextPrune = Clock::now() + std::chrono::hours(1);
        }

        std::vector<TestRecord> batch;
        if (backlog.unsent == 0) {
            {
                std::lock_guard lock(mutex_);
                flushDone_ = std::max(flushDone_, flushAsked);
            }
            flushed_.notify_all();
        }
        if (backlog.unsent == 0 || !store.Unsent(options_.batchSize, &batch, &error) || batch.empty()) {
            Wait(std::min(Clock::now() + options_.poll, nextHeartbeat));
            continue;
        }
        std::vector<std::int64_t> sent;
        Refused refused;
        if (!SendBatch(session, batch, store.StationDb(), &sent, &refused, &error)) {
            lineDown(error);
            Publish(status);
            continue;
        }
        if (options_.afterLineCommit && !options_.afterLineCommit())
            return;
        // Should this fail, the records stay unsent and their resend inserts nothing.
        if (store.MarkForwarded(sent, refused, &error))
            status.forwarded += static_cast<std::int64_t>(sent.size());
        else
            status.reason = options_.storePath + ": " + error;
    }
    if (session.conn.IsOpen())
        heartbeat(StateName(LineStatus::State::Off));
}
