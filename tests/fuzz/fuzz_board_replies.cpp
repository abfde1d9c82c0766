// libFuzzer target: every board class parses replies made of whatever bytes the fuzzer gives.
//   cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DVORLAINE_FUZZ=ON
//   cmake --build build-fuzz --target fuzz_board_replies && build-fuzz/tests/fuzz/fuzz_board_replies -max_total_time=60
#include "cclassic_tester.h"
#include "classic_routines.h"
#include "hiddata_kelspire.h"
#include "hiddata_masterHID.h"
#include "hiddata_pendrake.h"
#include "hiddata_simple_runoff.h"
#include "kelspire_routines.h"
#include "maker_domain.h"
#include "master_routines.h"
#include "sim_bus.h"
#include "sim_classic_board.h"
#include "sim_kelspire_board.h"
#include "sim_master_board.h"
#include "sim_pendrake_board.h"
#include "sim_runoff_board.h"

#include <cstddef>
#include <cstdint>
#include <mutex>

namespace {

// Answers every request with the next 64 bytes of the input, round and round.
class FuzzBoard final : public SimBoard {
public:
    FuzzBoard(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    void onOutputReport(const SimReport&, std::vector<SimReport>& replies) override { replies.push_back(next()); }
    bool onSetFeature(const SimReport&) override { return true; }
    bool onGetFeature(SimReport& report) override
    {
        report = next();
        return true;
    }

private:
    SimReport next()
    {
        std::lock_guard lock(mutex_);
        SimReport r{};
        for (std::size_t i = 1; i < r.size() && size_ > 0; ++i)
            r[i] = data_[pos_++ % size_];
        return r;
    }

    std::mutex mutex_;
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    SimBus bus;
    auto board = std::make_shared<FuzzBoard>(data, size);
    bus.plug(SimRunoffBoard::Identity("merrowin-demo"), board);
    bus.plug(SimMasterBoard::Identity(MAKER_DOMAIN), board);
    bus.plug(SimKelspireBoard::Identity(MAKER_DOMAIN), board);
    bus.plug(SimClassicBoard::Identity(MAKER_DOMAIN), board);
    bus.plug(SimPendrakeBoard::Identity(MAKER_DOMAIN), board);

    hiddata_simple_runoff runoff(bus);
    if (runoff.ConnectBasic() == 0) {
        runoff.ReadChannels();
        runoff.ReadReference();
        runoff.ReadMask();
        runoff.ReadSerialNumber();
        runoff.ReadLogoText();
        runoff.ReadAuthorTag();
        runoff.SetBuzzerOutput(1);
    }
    hiddata_masterHID master(bus);
    if (master.Connect() == 0) {
        master.ScanStations();
        master.RefreshCellMap();
        for (int page = -1; page < 20; ++page)
            master.ReadChannels(MasterStationOfPage(master, page));
        master.ReadOutputs();
        master.ReadRows();
        master.ReadColumns();
    }
    hiddata_kelspire kelspire(bus);
    if (kelspire.Connect() == 0) {
        for (std::uint8_t station = 1; station <= 6; ++station)
            kelspire.ReadUpperLimits(station);
        kelspire.ReadChannels(2);
        DownloadKelspirePage(kelspire, 3);
    }
    CClassicTester classic(bus);
    if (classic.Connect() == 0) {
        InitClassic(classic);
        for (int channel = 0; channel <= 32; ++channel)
            classic.ReadChannel(channel);
    }
    hiddata_pendrake pendrake(bus);
    if (pendrake.Connect() == 0) {
        pendrake.ReadGeneralArea();
        for (int station = -1; station <= 9; ++station)
            pendrake.ReadStationArea(station);
    }
    return 0;
}
