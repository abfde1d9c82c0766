// Test records: how many records a second the writer thread stores, and what recording costs the
// acquisition worker (passes a second of the offline master, 2 x 2 cells at USB timing, with the
// recorder observing every pass against none).
//   bench_records [records] [seconds-per-run] [runs]
#include "acquisition_engine.h"
#include "colorbar.h"
#include "engine_host.h"
#include "grid_observation.h"
#include "maker_domain.h"
#include "page_table.h"
#include "sim_bus.h"
#include "sim_master_board.h"
#include "station_recorder.h"

#include <QApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

class RecordingHost final : public EngineHost {
public:
    CColorBar* grid = nullptr;
    StationRecorder* recorder = nullptr; // null: recording off
    void SetTitle(const QString&) override {}
    void PostTitle(const QString&, std::uint64_t) override {}
    void OnPassJudged(std::uint64_t generation, const std::bitset<64>& fresh) override
    {
        if (!recorder)
            return;
        ObserveGrid(*grid, fresh, observed);
        recorder->Observe(PassTimeNow(), observed, generation);
    }
    std::vector<ObservedCell> observed;
};

void writerThroughput(const std::string& path, int count)
{
    StationRecorder recorder(path, "bench");
    TestRecord r;
    r.stationId = "bench";
    r.boardKind = "offline-master";
    r.values.fill(800);
    r.upperLimit.fill(1100);
    r.lowerLimit.fill(500);
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        r.startMs = i;
        r.endMs = i + 1;
        recorder.Writer().Submit({r}); // one at a time, as placements end
    }
    const auto submitted = Clock::now();
    recorder.Writer().Flush(std::chrono::minutes(5));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double submitUs = std::chrono::duration<double, std::micro>(submitted - start).count() / count;
    std::printf("writer: %d records stored in %.2f s = %.0f records/s (submit %.2f us each)\n", count, seconds,
                count / seconds, submitUs);
}

double passRate(StationRecorder* recorder, double seconds)
{
    SimBus bus;
    CColorBar grid;
    RecordingHost host;
    host.grid = &grid;
    host.recorder = recorder;
    AcquisitionEngine engine(bus, grid, host);
    InitPageTableDefaults();
    auto board = std::make_shared<SimMasterBoard>();
    board->setScenario(true);
    bus.plug(SimMasterBoard::Identity(MAKER_DOMAIN), board);
    engine.ConnectBoards();
    engine.StopAcquisition(); // the passes below run on this thread, back to back
    bus.setTransferDelay(std::chrono::microseconds(1000));
    bus.setLogging(false);
    for (int i = 0; i < 5; ++i)
        engine.AcquirePass();
    const auto start = Clock::now();
    int passes = 0;
    while (Clock::now() - start < std::chrono::duration<double>(seconds)) {
        engine.AcquirePass();
        ++passes;
    }
    return passes / std::chrono::duration<double>(Clock::now() - start).count();
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    const double seconds = argc > 2 ? std::atof(argv[2]) : 5.0;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 4;
    QTemporaryDir dir;
    writerThroughput(dir.filePath(QStringLiteral("writer.sqlite")).toStdString(), count);

    // Off and on alternate, so that a slow moment of the machine weighs on both alike.
    StationRecorder recorder(dir.filePath(QStringLiteral("passes.sqlite")).toStdString(), "bench");
    double off = 0, on = 0;
    for (int i = 0; i < runs; ++i) {
        off += passRate(nullptr, seconds);
        on += passRate(&recorder, seconds);
    }
    off /= runs;
    on /= runs;
    std::printf("worker: %.1f passes/s without recording, %.1f with; ratio %.3f\n", off, on, on / off);
    return 0;
}
