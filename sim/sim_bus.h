#pragma once
// A HID bus made of simulated boards: plug and unplug at any time, a log of every report each
// device received, faults on demand and an optional per-transfer delay that models USB timing.
#include "sim_board.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

enum class SimFault {
    None,
    NoReply,             // the board takes reports but never answers
    LateReply,           // answers arrive lateBy after the request
    Garbage,             // answers are random bytes
    UnplugDuringCommand, // the device vanishes right after the next report it receives
};

struct SimLoggedReport {
    enum class Kind { Output, SetFeature, GetFeature };
    Kind kind = Kind::Output;
    SimReport bytes{}; // zero for GetFeature requests
};

enum class SimBusEvent { Arrival, Removal };

class SimBus final : public HidBackend {
public:
    using Listener = std::function<void(SimBusEvent, const std::string& path)>;

    SimBus();
    ~SimBus() override;
    SimBus(const SimBus&) = delete;
    SimBus& operator=(const SimBus&) = delete;

    std::vector<HidDeviceInfo> enumerate() override;
    std::unique_ptr<HidDevice> open(const std::string& path) override;
    bool accessDenied(const std::string& path) override;

    // Returns the device id; the path is "sim:<id>". Raises an arrival.
    int plug(const SimDeviceSpec& spec, std::shared_ptr<SimBoard> board);
    // Open handles fail from now on. Raises a removal. Unknown ids are ignored.
    void unplug(int id);
    bool isPlugged(int id) const;
    static std::string pathOf(int id);

    std::vector<SimLoggedReport> log(int id) const;
    // Input reports read by the host so far.
    std::size_t deliveredInput(int id) const;
    // Input reports that a read would return now.
    std::size_t readyInput(int id) const;
    void clearLog(int id);
    void setFault(int id, SimFault fault, std::chrono::milliseconds lateBy = std::chrono::milliseconds(250));
    // Every transfer (report out, report in, feature request) takes this long; zero by default.
    void setTransferDelay(std::chrono::microseconds delay);
    std::chrono::microseconds transferDelay() const;
    // Precise timing spins the last part of each wait so that a 1 ms transfer lasts 1 ms (the
    // benchmarks need that); coarse timing only sleeps and costs no CPU (the demo). Precise by default.
    void setPreciseTiming(bool on);
    // Whether received reports are logged; on by default. A long-running demo turns it off.
    void setLogging(bool on);
    // Replies to output reports for which `drop` returns true never come (a station that stops
    // answering, a lost reply); an empty function drops nothing. Called under the port's lock.
    void setReplyFilter(int id, std::function<bool(const SimReport& request)> drop);
    // The device stays listed but opening it fails as for a node without access rights.
    void setAccessDenied(int id, bool denied);
    // Every output report (and feature send) of the device blocks this long before it is taken,
    // as a board that stalls its endpoint does until the USB time-out.
    void setOutputStall(int id, std::chrono::milliseconds stall);
    // Called on the thread that plugs or unplugs, never under the bus's locks.
    void setListener(Listener listener);

    struct State;

private:
    std::shared_ptr<State> state_;
};
