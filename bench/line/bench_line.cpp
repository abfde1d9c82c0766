// The line: records forwarded into a local PostgreSQL of our own (a throw-away cluster with
// durable commits).
//   bench_line rate [records]          forwarding rate of one station's backlog (default 50000)
//   bench_line drain [records]         a backlog piled up while the line was down, drained after it
//                                      came back (default 20000)
//   bench_line line [seconds] [stations]  stations placing 16 sensors every 3 s (default 300 s, 100
//                                      stations): records/s, p99 from a record's end to its row,
//                                      PostgreSQL's CPU share
#include "line_forwarder.h"
#include "pg_cluster.h"
#include "pq.h"
#include "record_writer.h"

#include <QTemporaryDir>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

TestRecord MakeRecord(int station, std::int64_t endMs, int position)
{
    TestRecord r;
    r.endMs = endMs;
    r.startMs = endMs - 2500;
    r.stationId = "st-" + std::to_string(station);
    r.boardKind = "offline-master";
    r.boardIdentity = "board-" + std::to_string(station);
    r.page = 1;
    r.column = position % 4;
    r.row = position / 4;
    r.pass = position != 5;
    r.passes = 25;
    for (std::size_t k = 0; k < r.values.size(); ++k) {
        r.values[k] = static_cast<std::uint16_t>(1000 + (endMs + static_cast<std::int64_t>(k)) % 97);
        r.upperLimit[k] = 2000;
        r.lowerLimit[k] = 500;
        r.reference[k] = 900;
        r.mask[k] = 1;
    }
    r.rangeHigh = 1.2;
    r.rangeLow = 0.8;
    r.configHash = "cfg";
    return r;
}

LineOptions Options(const PgCluster& cluster, const std::string& db, const std::string& path)
{
    LineOptions o;
    o.conninfo = cluster.ConnInfo(db, "station_a");
    o.storePath = path;
    o.station = path;
    o.programVersion = "bench";
    o.firstRetry = std::chrono::milliseconds(200);
    o.maxRetry = std::chrono::milliseconds(1000);
    return o;
}

void Fill(const std::string& path, int count)
{
    RecordStore store;
    std::string error;
    std::vector<TestRecord> records;
    const std::int64_t now = NowUtcMs();
    for (int i = 0; i < count; ++i)
        records.push_back(MakeRecord(0, now - count + i, i % 16));
    if (!store.Open(path, false, &error) || !store.Insert(records, &error)) {
        std::fprintf(stderr, "bench_line: %s\n", error.c_str());
        std::exit(1);
    }
}

double DrainSeconds(LineForwarder& forwarder, std::int64_t count, Clock::time_point from)
{
    while (forwarder.Status().forwarded < count)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return std::chrono::duration<double>(Clock::now() - from).count();
}

// CPU seconds of the postmaster and its children (the backends).
double ServerCpuSeconds(int postmaster)
{
    double ticks = 0;
    DIR* proc = opendir("/proc");
    while (dirent* e = proc ? readdir(proc) : nullptr) {
        const int pid = std::atoi(e->d_name);
        if (pid <= 0)
            continue;
        std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
        std::string stat;
        std::getline(in, stat);
        const auto close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(stat.substr(close + 2));
        std::string f[15];
        for (auto& x : f)
            fields >> x;
        // After the name: state, ppid, ... utime is the 12th, stime the 13th.
        if (pid == postmaster || std::atoi(f[1].c_str()) == postmaster)
            ticks += std::atof(f[11].c_str()) + std::atof(f[12].c_str());
    }
    if (proc)
        closedir(proc);
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void Rate(PgCluster& cluster, const std::string& db, int count)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("records.sqlite").toStdString();
    Fill(path, count);
    LineForwarder forwarder(Options(cluster, db, path));
    const auto t0 = Clock::now();
    forwarder.Start();
    const double s = DrainSeconds(forwarder, count, t0);
    std::printf("forwarding rate: %d records in %.2f s = %.0f records/s (target 5000)\n", count, s, count / s);
}

void Drain(PgCluster& cluster, const std::string& db, int count)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("records.sqlite").toStdString();
    std::string error;
    cluster.Stop("fast", &error);
    LineForwarder forwarder(Options(cluster, db, path));
    forwarder.Start();
    Fill(path, count);
    while (forwarder.Status().backlog < count || forwarder.Status().state != LineStatus::State::Unreachable)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto t0 = Clock::now();
    if (!cluster.Start(&error)) {
        std::fprintf(stderr, "bench_line: %s\n", error.c_str());
        std::exit(1);
    }
    while (forwarder.Status().state == LineStatus::State::Unreachable)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto connected = Clock::now();
    const double s = DrainSeconds(forwarder, count, t0);
    const double reconnect = std::chrono::duration<double>(connected - t0).count();
    std::printf("backlog after an outage: %d records drained %.2f s after the server was back, of which %.2f s "
                "before the forwarder's next try reached it (retries 1 s apart at most here, up to 60 s by "
                "default): %.0f records/s once connected\n",
                count, s, reconnect, count / (s - reconnect));
}

void Line(PgCluster& cluster, const std::string& db, int seconds, int stations)
{
    QTemporaryDir dir;
    std::vector<std::unique_ptr<RecordWriter>> writers;
    std::vector<std::unique_ptr<LineForwarder>> forwarders;
    for (int s = 0; s < stations; ++s) {
        const std::string path = dir.filePath(QString("st%1.sqlite").arg(s)).toStdString();
        writers.push_back(std::make_unique<RecordWriter>(path));
        forwarders.push_back(std::make_unique<LineForwarder>(Options(cluster, db, path)));
        forwarders.back()->Start();
    }
    const int postmaster = cluster.PostmasterPid();
    const double cpu0 = ServerCpuSeconds(postmaster);
    const auto t0 = Clock::now();
    const auto end = t0 + std::chrono::seconds(seconds);
    std::int64_t made = 0;
    // Station s places its 16 sensors at t0 + s * 30 ms + k * 3 s.
    std::vector<Clock::time_point> next(static_cast<std::size_t>(stations));
    for (int s = 0; s < stations; ++s)
        next[static_cast<std::size_t>(s)] = t0 + std::chrono::milliseconds(s * 3000 / stations);
    while (Clock::now() < end) {
        for (int s = 0; s < stations; ++s) {
            auto& at = next[static_cast<std::size_t>(s)];
            if (Clock::now() < at)
                continue;
            std::vector<TestRecord> records;
            const std::int64_t now = NowUtcMs();
            for (int p = 0; p < 16; ++p)
                records.push_back(MakeRecord(s, now, p));
            writers[static_cast<std::size_t>(s)]->Submit(std::move(records));
            made += 16;
            at += std::chrono::seconds(3);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = ServerCpuSeconds(postmaster) - cpu0;
    std::int64_t backlog = 0;
    for (auto& f : forwarders) {
        while (f->Status().forwarded == 0 && f->Status().backlog > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        backlog += f->Status().backlog;
    }
    for (auto& f : forwarders)
        f->Stop();
    for (auto& w : writers)
        w->Flush(std::chrono::seconds(10));

    pq::Connection admin;
    std::string error;
    if (!admin.Open(cluster.ConnInfo(db), 10, &error)) {
        std::fprintf(stderr, "bench_line: %s\n", error.c_str());
        std::exit(1);
    }
    pq::Result r = admin.Exec(
        "SELECT count(*), round(percentile_cont(0.5) WITHIN GROUP (ORDER BY lag)), "
        "round(percentile_cont(0.99) WITHIN GROUP (ORDER BY lag)), round(max(lag)) "
        "FROM (SELECT extract(epoch FROM received_at - ended_at) * 1000 AS lag FROM test_record) AS lags");
    std::printf("line of %d stations for %d s: %lld records made, %s in the line (backlog at the end %lld), "
                "%.0f records/s sustained\n",
                stations, seconds, static_cast<long long>(made), r.Text(0, 0).c_str(),
                static_cast<long long>(backlog), std::atof(r.Text(0, 0).c_str()) / wall);
    std::printf("  end of record to its row: median %s ms, p99 %s ms, worst %s ms (target p99 < 2000 ms)\n",
                r.Text(0, 1).c_str(), r.Text(0, 2).c_str(), r.Text(0, 3).c_str());
    std::printf("  PostgreSQL CPU: %.1f s in %.1f s = %.1f%% of one core, %.1f%% of the machine's %ld\n", cpu, wall,
                100 * cpu / wall, 100 * cpu / wall / static_cast<double>(sysconf(_SC_NPROCESSORS_ONLN)),
                sysconf(_SC_NPROCESSORS_ONLN));
}
} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "rate";
    PgCluster cluster;
    std::string error;
    // Durable commits, as a line would run.
    if (!cluster.Create(&error, {"fsync=on", "full_page_writes=on", "max_connections=300",
                                 "shared_buffers=128MB"}) ||
        !cluster.CreateLineDatabase("line", &error)) {
        std::fprintf(stderr, "bench_line: %s\n", error.c_str());
        return 1;
    }
    if (mode == "rate")
        Rate(cluster, "line", argc > 2 ? std::atoi(argv[2]) : 50000);
    else if (mode == "drain")
        Drain(cluster, "line", argc > 2 ? std::atoi(argv[2]) : 20000);
    else if (mode == "line")
        Line(cluster, "line", argc > 2 ? std::atoi(argv[2]) : 300, argc > 3 ? std::atoi(argv[3]) : 100);
    else {
        std::fprintf(stderr, "usage: bench_line rate|drain|line [...]\n");
        return 2;
    }
    return 0;
}
