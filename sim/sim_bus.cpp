#include "sim_bus.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <random>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t INPUT_QUEUE_LIMIT = 64; // as hidraw: the newest report is dropped when full

// Sleeping alone overshoots by tens of microseconds, which would make a modelled 1 ms transfer
// noticeably longer; sleep most of the way and spin the rest.
void waitUntilPrecisely(Clock::time_point deadline, bool precise = true)
{
    if (!precise) {
        std::this_thread::sleep_until(deadline);
        return;
    }
    constexpr auto SPIN = std::chrono::microseconds(200);
    const auto now = Clock::now();
    if (deadline - now > SPIN)
        std::this_thread::sleep_until(deadline - SPIN);
    while (Clock::now() < deadline)
        std::this_thread::yield();
}

struct Port {
    int id = 0;
    SimDeviceSpec spec;
    std::shared_ptr<SimBoard> board;

    std::mutex mutex;
    std::condition_variable arrived;
    bool plugged = true;
    struct Pending {
        SimReport bytes;
        Clock::time_point readyAt;
    };
    std::deque<Pending> queue;
    std::vector<SimLoggedReport> log;
    std::size_t delivered = 0; // input reports handed to the host
    SimFault fault = SimFault::None;
    std::chrono::milliseconds lateBy{0};
    std::chrono::milliseconds stall{0};
    std::atomic<bool> accessDenied{false}; // read under the bus's lock, which comes before a port's
    std::function<bool(const SimReport&)> dropReplies;
    std::mt19937 noise{12345};
};

} // namespace

struct SimBus::State {
    mutable std::mutex mutex;
    std::vector<std::shared_ptr<Port>> ports; // plugged now; plug order is enumeration order
    std::vector<std::shared_ptr<Port>> all;   // every port ever plugged, so logs outlive an unplug
    int nextId = 1;
    std::atomic<std::int64_t> delayMicroseconds{0}; // read under ports' locks
    // Read under a port's lock: atomics, so that no lock is taken after the port's.
    std::atomic<bool> precise{true};
    std::atomic<bool> logging{true};
    Listener listener;

    std::shared_ptr<Port> find(int id) const
    {
        std::lock_guard lock(mutex);
        for (const auto& p : all)
            if (p->id == id)
                return p;
        return nullptr;
    }

    std::chrono::microseconds transferDelay() const { return std::chrono::microseconds(delayMicroseconds.load()); }

    bool preciseTiming() const { return precise.load(); }
    bool loggingOn() const { return logging.load(); }

    void unplug(int id)
    {
        std::shared_ptr<Port> port;
        Listener notify;
        {
            std::lock_guard lock(mutex);
            auto it = std::find_if(ports.begin(), ports.end(), [id](const auto& p) { return p->id == id; });
            if (it == ports.end())
                return;
            port = *it;
            ports.erase(it);
            notify = listener;
        }
        {
            std::lock_guard lock(port->mutex);
            port->plugged = false;
            port->queue.clear();
        }
        port->arrived.notify_all();
        if (notify)
            notify(SimBusEvent::Removal, SimBus::pathOf(id));
    }
};

namespace {

class SimDevice final : public HidDevice {
public:
    SimDevice(std::shared_ptr<SimBus::State> bus, std::shared_ptr<Port> port)
        : bus_(std::move(bus)), port_(std::move(port))
    {
    }

    int write(const std::uint8_t* report) override
    {
        return receive(SimLoggedReport::Kind::Output, report);
    }

    int sendFeature(const std::uint8_t* report) override
    {
        return receive(SimLoggedReport::Kind::SetFeature, report);
    }

    int read(std::uint8_t* report, int timeoutMs) override
    {
        std::unique_lock lock(port_->mutex);
        const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
        for (;;) {
            if (!port_->plugged)
                return -1;
            const auto now = Clock::now();
            if (!port_->queue.empty() && port_->queue.front().readyAt <= now) {
                std::memcpy(report, port_->queue.front().bytes.data(), HID_REPORT_SIZE);
                report[0] = 0;
                port_->queue.pop_front();
                ++port_->delivered;
                return static_cast<int>(HID_REPORT_SIZE);
            }
            if (now >= deadline)
                return 0;
            if (!port_->queue.empty() && port_->queue.front().readyAt <= deadline) {
                // A reply on its way: it lands at a known moment.
                const auto readyAt = port_->queue.front().readyAt;
                lock.unlock();
                waitUntilPrecisely(readyAt, bus_->preciseTiming());
                lock.lock();
                continue;
            }
            port_->arrived.wait_until(lock, deadline);
        }
    }

    int getFeature(std::uint8_t* report) override
    {
        pause();
        std::unique_lock lock(port_->mutex);
        if (!port_->plugged)
            return -1;
        if (bus_->loggingOn())
            port_->log.push_back({SimLoggedReport::Kind::GetFeature, {}});
        if (port_->fault == SimFault::UnplugDuringCommand) {
            lock.unlock();
            bus_->unplug(port_->id);
            return -1;
        }
        SimReport reply{};
        if (!port_->board->onGetFeature(reply) || port_->fault == SimFault::NoReply)
            return -1;
        if (port_->fault == SimFault::Garbage)
            scramble(reply);
        if (port_->fault == SimFault::LateReply) {
            // A control transfer cannot arrive "later": it just takes longer.
            const auto lateBy = port_->lateBy;
            lock.unlock();
            std::this_thread::sleep_for(lateBy);
        }
        std::memcpy(report, reply.data(), HID_REPORT_SIZE);
        report[0] = 0;
        return static_cast<int>(HID_REPORT_SIZE);
    }

private:
    void pause() const
    {
        const auto delay = bus_->transferDelay();
        if (delay.count() > 0)
            waitUntilPrecisely(Clock::now() + delay, bus_->preciseTiming());
    }

    void stall() const
    {
        std::chrono::milliseconds stall{0};
        {
            std::lock_guard lock(port_->mutex);
            stall = port_->stall;
        }
        if (stall.count() > 0)
            std::this_thread::sleep_for(stall);
    }

    void scramble(SimReport& reply)
    {
        for (auto& b : reply)
            b = static_cast<std::uint8_t>(port_->noise());
    }

    int receive(SimLoggedReport::Kind kind, const std::uint8_t* bytes)
    {
        pause();
        stall();
        SimReport in{};
        std::memcpy(in.data(), bytes, HID_REPORT_SIZE);
        std::unique_lock lock(port_->mutex);
        if (!port_->plugged)
            return -1;
        if (bus_->loggingOn())
            port_->log.push_back({kind, in});
        if (port_->fault == SimFault::UnplugDuringCommand) {
            lock.unlock();
            bus_->unplug(port_->id);
            return static_cast<int>(HID_REPORT_SIZE);
        }
        if (kind == SimLoggedReport::Kind::SetFeature)
            return port_->board->onSetFeature(in) ? static_cast<int>(HID_REPORT_SIZE) : -1;

        std::vector<SimReport> replies;
        port_->board->onOutputReport(in, replies);
        if (port_->fault == SimFault::NoReply || (port_->dropReplies && port_->dropReplies(in)))
            return static_cast<int>(HID_REPORT_SIZE);
        auto readyAt = Clock::now() + bus_->transferDelay();
        if (port_->fault == SimFault::LateReply)
            readyAt += port_->lateBy;
        for (auto& reply : replies) {
            if (port_->queue.size() >= INPUT_QUEUE_LIMIT)
                break;
            if (port_->fault == SimFault::Garbage)
                scramble(reply);
            reply[0] = 0;
            port_->queue.push_back({reply, readyAt});
        }
        lock.unlock();
        port_->arrived.notify_all();
        return static_cast<int>(HID_REPORT_SIZE);
    }

    std::shared_ptr<SimBus::State> bus_;
    std::shared_ptr<Port> port_;
};

} // namespace

SimBus::SimBus() : state_(std::make_shared<State>()) {}

SimBus::~SimBus() = default;

std::vector<HidDeviceInfo> SimBus::enumerate()
{
    std::lock_guard lock(state_->mutex);
    std::vector<HidDeviceInfo> devices;
    for (const auto& p : state_->ports)
        devices.push_back({pathOf(p->id), p->spec.vendorId, p->spec.productId, p->spec.manufacturer,
                           p->spec.product});
    return devices;
}

std::unique_ptr<HidDevice> SimBus::open(const std::string& path)
{
    std::lock_guard lock(state_->mutex);
    for (const auto& p : state_->ports)
        if (pathOf(p->id) == path)
            return p->accessDenied ? nullptr : std::make_unique<SimDevice>(state_, p);
    return nullptr;
}

bool SimBus::accessDenied(const std::string& path)
{
    std::lock_guard lock(state_->mutex);
    for (const auto& p : state_->ports)
        if (pathOf(p->id) == path)
            return p->accessDenied.load();
    return false;
}

int SimBus::plug(const SimDeviceSpec& spec, std::shared_ptr<SimBoard> board)
{
    int id = 0;
    Listener notify;
    {
        std::lock_guard lock(state_->mutex);
        id = state_->nextId++;
        auto port = std::make_shared<Port>();
        port->id = id;
        port->spec = spec;
        port->board = std::move(board);
        port->noise.seed(static_cast<std::mt19937::result_type>(id));
        state_->all.push_back(port);
        state_->ports.push_back(std::move(port));
        notify = state_->listener;
    }
    if (notify)
        notify(SimBusEvent::Arrival, pathOf(id));
    return id;
}

void SimBus::unplug(int id)
{
    state_->unplug(id);
}

bool SimBus::isPlugged(int id) const
{
    std::lock_guard lock(state_->mutex);
    return std::any_of(state_->ports.begin(), state_->ports.end(), [id](const auto& p) { return p->id == id; });
}

std::string SimBus::pathOf(int id)
{
    return "sim:" + std::to_string(id);
}

std::vector<SimLoggedReport> SimBus::log(int id) const
{
    if (auto port = state_->find(id)) {
        std::lock_guard lock(port->mutex);
        return port->log;
    }
    return {};
}

std::size_t SimBus::deliveredInput(int id) const
{
    if (auto port = state_->find(id)) {
        std::lock_guard lock(port->mutex);
        return port->delivered;
    }
    return 0;
}

std::size_t SimBus::readyInput(int id) const
{
    if (auto port = state_->find(id)) {
        std::lock_guard lock(port->mutex);
        const auto now = Clock::now();
        return static_cast<std::size_t>(std::count_if(port->queue.begin(), port->queue.end(),
                                                       [now](const auto& p) { return p.readyAt <= now; }));
    }
    return 0;
}

void SimBus::clearLog(int id)
{
    if (auto port = state_->find(id)) {
        std::lock_guard lock(port->mutex);
        port->log.clear();
    }
}

void SimBus::setFault(int id, SimFault fault, std::chrono::milliseconds lateBy)
{
    if (auto port = state_->find(id)) {
        std::lock_guard lock(port->mutex);
        port->fault = fault;
        port->lateBy = lateBy;
    }
}

void SimBus::setTransferDelay(std::chrono::microseconds delay)
{
    state_->delayMicroseconds = delay.count();
}

std::chrono::microseconds SimBus::transferDelay() const
{
    return state_->transferDelay();
}

void SimBus::setPreciseTiming(bool on)
{
    state_->precise = on;
}

void SimBus::setLogging(bool on)
{
    state_->logging = on;
}

void SimBus::setReplyFilter(int id, std::function<bool(const SimReport& request)> drop)
{
    if (auto port = state_->find(id)) {
        std::lock_guard lock(port->mutex);
        port->dropReplies = std::move(drop);
    }
}

void SimBus::setAccessDenied(int id, bool denied)
{
    if (auto port = state_->find(id))
        port->accessDenied = denied;
}

void SimBus::setOutputStall(int id, std::chrono::milliseconds stall)
{
    if (auto port = state_->find(id)) {
        std::lock_guard lock(port->mutex);
        port->stall = stall;
    }
}

void SimBus::setListener(Listener listener)
{
    std::lock_guard lock(state_->mutex);
    state_->listener = std::move(listener);
}
