// Acquisition throughput and FAIL-line latency on simulated boards with USB timing (1 ms per
// transfer). Prints, per board kind, passes per second against the limit that the transfers of one
// pass set, and the time from a channel leaving its limits to the board's FAIL line.
//   bench_engine [seconds-per-kind] [latency-trials]
#include "acquisition_engine.h"
#include "colorbar.h"
#include "engine_host.h"
#include "hiddata_simple_runoff.h"
#include "maker_domain.h"
#include "page_table.h"
#include "sim_bus.h"
#include "sim_classic_board.h"
#include "sim_kelspire_board.h"
#include "sim_master_board.h"
#include "sim_pendrake_board.h"
#include "sim_runoff_board.h"

#include <QApplication>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto TRANSFER = std::chrono::microseconds(1000);
constexpr auto REPAINT = std::chrono::milliseconds(10);

class QuietHost final : public EngineHost {
public:
    void SetTitle(const QString&) override {}
    void PostTitle(const QString&, std::uint64_t) override {}
};

ChannelValues flat(std::uint16_t v)
{
    ChannelValues values{};
    values.fill(v);
    return values;
}

struct Kind {
    const char* name;
    std::function<int(SimBus&)> plug;
};

struct Bench {
    SimBus bus;
    CColorBar grid;
    QuietHost host;
    AcquisitionEngine engine{bus, grid, host};
    QImage image{800, 600, QImage::Format_RGB32};
};

double transfersOf(SimBus& bus, int id)
{
    return static_cast<double>(bus.log(id).size() + bus.deliveredInput(id));
}

void throughput(const Kind& kind, double seconds)
{
    Bench b;
    InitPageTableDefaults();
    const int id = kind.plug(b.bus);
    b.engine.ConnectBoards();
    b.engine.StopAcquisition(); // the passes below run on this thread, back to back
    b.bus.setTransferDelay(TRANSFER);

    for (int i = 0; i < 5; ++i)
        b.engine.AcquirePass(); // the rotating cursors settle
    const double before = transfersOf(b.bus, id);
    const auto start = Clock::now();
    int passes = 0;
    while (Clock::now() - start < std::chrono::duration<double>(seconds)) {
        b.engine.AcquirePass();
        ++passes;
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const double perPass = (transfersOf(b.bus, id) - before) / passes;
    const double rate = passes / elapsed;
    const double limit = 1.0 / (perPass * std::chrono::duration<double>(TRANSFER).count());
    std::printf("%-10s %8.1f passes/s  %5.2f transfers/pass  limit %7.1f/s  ratio %.3f\n", kind.name, rate,
                perPass, limit, rate / limit);
}

// The worker runs freely; this thread repaints every 10 ms as the window's timer does.
void latency(int trials)
{
    Bench b;
    InitPageTableDefaults();
    auto board = std::make_shared<SimRunoffBoard>();
    board->sensor().setFixed(flat(700));
    b.bus.plug(SimRunoffBoard::Identity("merrowin-demo"), board);
    b.engine.ConnectBoards();
    b.bus.setTransferDelay(TRANSFER);

    std::mt19937 random(42);
    std::vector<double> ms;
    auto nextPaint = Clock::now();
    auto pump = [&] {
        if (Clock::now() >= nextPaint) {
            b.grid.PaintTo(b.image);
            nextPaint += REPAINT;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    };
    auto waitFor = [&](auto pred) {
        const auto giveUp = Clock::now() + std::chrono::seconds(2);
        while (!pred() && Clock::now() < giveUp)
            pump();
    };
    for (int t = 0; t < trials; ++t) {
        board->sensor().setFixed(flat(700));
        waitFor([&] { return board->outputs()[0] == 1; });
        const auto phase = Clock::now() + std::chrono::microseconds(random() % 10000);
        while (Clock::now() < phase)
            pump();
        ChannelValues out = flat(700);
        out[9] = 1500;
        const auto t0 = Clock::now();
        board->sensor().setFixed(out);
        waitFor([&] { return board->outputs()[1] == 1; });
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    b.engine.StopAcquisition();
    std::sort(ms.begin(), ms.end());
    const double passMs = 5.0; // ReadChannels (2 transfers) + WriteOutputs (3)
    std::printf("FAIL line latency (one-to-one, %d trials): median %.1f ms, worst %.1f ms; target %.1f ms\n",
                trials, ms[ms.size() / 2], ms.back(), 2 * passMs + 10.0);
}

// What a board that stops answering costs per command, and how long it takes after it answers
// again until a reply is trusted (replies within a second of a timed-out read may be late ones).
void silentBoard()
{
    SimBus bus;
    const int id = bus.plug(SimRunoffBoard::Identity("merrowin-demo"), std::make_shared<SimRunoffBoard>());
    hiddata_simple_runoff runoff(bus);
    runoff.ConnectBasic();
    bus.setTransferDelay(TRANSFER);
    runoff.ReadChannels();

    bus.setFault(id, SimFault::NoReply);
    constexpr int COMMANDS = 20;
    auto t0 = Clock::now();
    runoff.ReadChannels();
    const double first = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    t0 = Clock::now();
    for (int i = 0; i < COMMANDS; ++i)
        runoff.ReadChannels();
    const double each = std::chrono::duration<double, std::milli>(Clock::now() - t0).count() / COMMANDS;

    bus.setFault(id, SimFault::None);
    t0 = Clock::now();
    int refused = 0;
    for (;;) {
        const ReplyWatch watch;
        runoff.ReadChannels();
        if (watch.AllAnswered())
            break;
        ++refused;
    }
    const double recovery = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    std::printf("silent board: first command %.0f ms, each later one %.0f ms (read bound %d ms); "
                "answering again: first trusted reply after %.0f ms, %d reads refused\n",
                first, each, HID_READ_TIMEOUT_MS, recovery, refused);
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    const int trials = argc > 2 ? std::atoi(argv[2]) : 100;

    const Kind kinds[] = {
        {"one-to-one", [](SimBus& bus) { return bus.plug(SimRunoffBoard::Identity("merrowin-demo"), std::make_shared<SimRunoffBoard>()); }},
        {"smart", [](SimBus& bus) { return bus.plug(SimKelspireBoard::Identity(MAKER_DOMAIN), std::make_shared<SimKelspireBoard>()); }},
        {"offline", [](SimBus& bus) { return bus.plug(SimMasterBoard::Identity(MAKER_DOMAIN), std::make_shared<SimMasterBoard>()); }},
        {"classic", [](SimBus& bus) { return bus.plug(SimClassicBoard::Identity(MAKER_DOMAIN), std::make_shared<SimClassicBoard>()); }},
    };
    for (const Kind& k : kinds)
        throughput(k, seconds);
    std::printf("nine-way   only probed: no passes\n");
    latency(trials);
    silentBoard();
    return 0;
}
