#include "sim_pendrake_board.h"

#include <algorithm>
#include <cstring>

namespace {
bool isSet(std::uint8_t code)
{
    switch (code) {
    case 0x41: case 0x51: case 0x61: case 0x71: case 0x81: case 0x91: case 0xA1: case 0xB1: case 0xE1:
        return true;
    default:
        return false;
    }
}
} // namespace

SimDeviceSpec SimPendrakeBoard::Identity(const std::string& manufacturer, const std::string& product)
{
    return {0x04B4, 0xE006, std::wstring(manufacturer.begin(), manufacturer.end()),
            std::wstring(product.begin(), product.end())};
}

SimPendrakeBoard::SimPendrakeBoard(std::uint32_t seed)
{
    reference_.fill(700);
    upper_.fill(1100);
    for (std::size_t i = 0; i < sensors_.size(); ++i)
        sensors_[i] = std::make_unique<SimSensor>(seed + static_cast<std::uint32_t>(i));
}

SimPendrakeBoard::Record SimPendrakeBoard::record() const
{
    std::lock_guard lock(mutex_);
    return record_;
}

void SimPendrakeBoard::setRecord(const Record& record)
{
    std::lock_guard lock(mutex_);
    record_ = record;
}

SimPendrakeBoard::Block SimPendrakeBoard::block(int number) const
{
    std::lock_guard lock(mutex_);
    return number >= 0 && number < BLOCKS ? blocks_[static_cast<std::size_t>(number)] : Block{};
}

void SimPendrakeBoard::setBlock(int number, const Block& block)
{
    std::lock_guard lock(mutex_);
    if (number >= 0 && number < BLOCKS)
        blocks_[static_cast<std::size_t>(number)] = block;
}

SimSensor& SimPendrakeBoard::sensor(int station)
{
    return *sensors_[static_cast<std::size_t>(std::clamp(station, 0, STATIONS - 1))];
}

void SimPendrakeBoard::setScenario(bool on)
{
    for (auto& s : sensors_)
        s->setScenario(on);
}

void SimPendrakeBoard::onOutputReport(const SimReport& report, std::vector<SimReport>& replies)
{
    std::lock_guard lock(mutex_);
    if (stage_ == Stage::Argument) {
        argument_ = report[1];
        if (pendingCode_ == 0xEE) {
            stage_ = Stage::Data;
            return;
        }
        stage_ = Stage::Command;
        SimReport r{};
        if (pendingCode_ == 0xED && argument_ < BLOCKS) {
            const Block& b = blocks_[static_cast<std::size_t>(argument_)];
            std::copy(b.begin(), b.end(), r.begin() + 1);
        } else if (pendingCode_ == 0xEF && argument_ < STATIONS) {
            const ChannelValues values = sensors_[static_cast<std::size_t>(argument_)]->measure(reference_, upper_);
            for (std::size_t k = 0; k < 32; ++k)
                putLE16(r, 1 + 2 * k, values[k]);
        }
        replies.push_back(r);
        return;
    }
    if (stage_ == Stage::Data) {
        stage_ = Stage::Command;
        apply(pendingCode_, report);
        if (pendingCode_ != 0xE1 && pendingCode_ != 0xEE) // written without an acknowledge
            replies.push_back(report);
        return;
    }
    if (report[1] != 0x01 || report[2] != 0x29)
        return;
    const std::uint8_t code = report[3];
    pendingCode_ = code;
    if (code == 0xED || code == 0xEE || code == 0xEF)
        stage_ = Stage::Argument;
    else if (isSet(code))
        stage_ = Stage::Data;
    else
        replyTo(code, replies);
}

void SimPendrakeBoard::replyTo(std::uint8_t code, std::vector<SimReport>& replies)
{
    SimReport r{};
    putBE16(r, 1, record_.firmwareVersion);
    putBE16(r, 3, record_.firmwareYear);
    r[5] = record_.firmwareMonth;
    r[6] = record_.firmwareDay;
    putText(r, 7, record_.authorName, 8);
    r[15] = record_.optionFlags;
    putText(r, 33, record_.serialNumber, 16);
    switch (code) {
    case 0x40: case 0x60: case 0x70: case 0x80: case 0x90: case 0xA0: case 0xB0:
    case 0x50:
        putText(r, 49, record_.deviceId, 16);
        break;
    case 0xE0:
        putText(r, 49, record_.authorTag, 16);
        break;
    default:
        return; // unknown command: no answer
    }
    replies.push_back(r);
}

void SimPendrakeBoard::apply(std::uint8_t code, const SimReport& d)
{
    switch (code) {
    case 0xEE:
        if (argument_ < BLOCKS)
            std::copy_n(d.begin() + 1, 64, blocks_[static_cast<std::size_t>(argument_)].begin());
        break;
    case 0x41: record_.serialNumber = getText(d, 33, 16); break;
    case 0x51: record_.deviceId = getText(d, 49, 16); break;
    case 0x61: record_.firmwareVersion = getBE16(d, 1); break;
    case 0x71: record_.firmwareYear = getBE16(d, 3); break;
    case 0x81: record_.firmwareMonth = d[5]; break;
    case 0x91: record_.firmwareDay = d[6]; break;
    case 0xA1: record_.authorName = getText(d, 7, 8); break;
    case 0xB1: record_.optionFlags = d[15]; break;
    case 0xE1: record_.authorTag = getText(d, 49, 16); break;
    default: break;
    }
}
