#include "sim_master_board.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {
constexpr std::uint8_t NO_STATION = 0xFF;

bool isSetCode(std::uint8_t code)
{
    switch (code) {
    case 0x11: case 0x21: case 0x31: case 0x33: case 0x41: case 0x51: case 0x61: case 0x71: case 0x81:
    case 0x91: case 0xA1: case 0xB1: case 0xD1: case 0xD2: case 0xD3: case 0xD7: case 0xD9: case 0xDB:
    case 0xE1: case 0xF3: case 0xF5: case 0xF7:
        return true;
    default:
        return false;
    }
}

// The station measures around the middle of its limits.
ChannelValues midpoints(const SimMasterBoard::Tables& t)
{
    ChannelValues mid{};
    for (std::size_t k = 0; k < mid.size(); ++k) {
        const int low = t.lower[k], high = t.upper[k];
        mid[k] = static_cast<std::uint16_t>(std::min(low, high) + std::abs(high - low) / 2);
    }
    return mid;
}
} // namespace

SimDeviceSpec SimMasterBoard::Identity(const std::string& manufacturer)
{
    return {0x0122, 0x1985, std::wstring(manufacturer.begin(), manufacturer.end()), L"Drovane"};
}

SimMasterBoard::SimMasterBoard(std::vector<std::uint8_t> stations, std::uint32_t seed)
{
    for (std::size_t a = 0; a < stations_.size(); ++a) {
        stations_[a] = std::make_unique<Station>(seed + static_cast<std::uint32_t>(a));
        stations_[a]->tables.upper.fill(1100);
        stations_[a]->tables.lower.fill(500);
    }
    setStations(stations);
    std::size_t cell = 0;
    for (std::uint8_t address : stations) {
        if (address >= MAX_STATIONS || cell >= 4)
            continue;
        const auto column = static_cast<std::uint8_t>(cell % 2), row = static_cast<std::uint8_t>(cell / 2);
        cellMap_[2 * cell] = static_cast<std::uint8_t>(column << 4 | row);
        cellMap_[2 * cell + 1] = static_cast<std::uint8_t>(0x80 | address);
        ++cell;
    }
}

SimMasterBoard::Station& SimMasterBoard::station(std::uint8_t address) const
{
    return *stations_[address];
}

void SimMasterBoard::setStations(const std::vector<std::uint8_t>& addresses)
{
    std::lock_guard lock(mutex_);
    for (auto& s : stations_)
        s->present = false;
    for (std::uint8_t address : addresses)
        if (address < MAX_STATIONS)
            station(address).present = true;
}

bool SimMasterBoard::hasStation(std::uint8_t address) const
{
    std::lock_guard lock(mutex_);
    return address < MAX_STATIONS && station(address).present;
}

SimMasterBoard::Tables SimMasterBoard::tables(std::uint8_t address) const
{
    std::lock_guard lock(mutex_);
    return address < MAX_STATIONS ? station(address).tables : Tables{};
}

void SimMasterBoard::setTables(std::uint8_t address, const Tables& tables)
{
    std::lock_guard lock(mutex_);
    if (address < MAX_STATIONS)
        station(address).tables = tables;
}

SimSensor& SimMasterBoard::sensor(std::uint8_t address)
{
    return station(static_cast<std::uint8_t>(address & 0x7F)).sensor;
}

void SimMasterBoard::setScenario(bool on)
{
    for (auto& s : stations_)
        s->sensor.setScenario(on);
}

SimMasterBoard::Record SimMasterBoard::record() const
{
    std::lock_guard lock(mutex_);
    return record_;
}

void SimMasterBoard::setRecord(const Record& record)
{
    std::lock_guard lock(mutex_);
    record_ = record;
}

std::array<std::uint8_t, 32> SimMasterBoard::cellMap() const
{
    std::lock_guard lock(mutex_);
    return cellMap_;
}

void SimMasterBoard::setCellMap(const std::array<std::uint8_t, 32>& map)
{
    std::lock_guard lock(mutex_);
    cellMap_ = map;
}

std::array<std::uint8_t, 7> SimMasterBoard::outputs() const
{
    std::lock_guard lock(mutex_);
    return outputs_;
}

void SimMasterBoard::triggerEmergencyStop()
{
    std::lock_guard lock(mutex_);
    outputs_[6] = 1;
    emergencyUnseen_ = true;
}

SimReport SimMasterBoard::recordReport() const
{
    SimReport r{};
    putBE16(r, 1, record_.firmwareVersion);
    putBE16(r, 3, record_.firmwareYear);
    r[5] = record_.firmwareMonth;
    r[6] = record_.firmwareDay;
    putText(r, 7, record_.authorName, 8);
    r[15] = record_.optionFlags;
    putBE16(r, 22, record_.dataMax);
    putBE16(r, 24, record_.dataMin);
    r[26] = record_.modelCode;
    r[30] = record_.buzzerMode;
    r[31] = record_.rows;
    r[32] = record_.columns;
    putText(r, 33, record_.serialNumber, 16);
    putText(r, 49, record_.deviceId, 16);
    return r;
}

void SimMasterBoard::onOutputReport(const SimReport& report, std::vector<SimReport>& replies)
{
    std::lock_guard lock(mutex_);
    if (awaitingData_ >= 0) {
        const auto code = static_cast<std::uint8_t>(awaitingData_);
        awaitingData_ = -1;
        apply(code, awaitingStation_, report);
        replies.push_back(report); // every set is acknowledged with its data report
        return;
    }
    if (report[1] != 0x01 || report[2] != 0x29)
        return; // not a command: ignored, as the firmware does
    const std::uint8_t code = report[3];
    if (isSetCode(code)) {
        awaitingData_ = code;
        awaitingStation_ = report[4];
    } else {
        reply(code, report[4], replies);
    }
}

void SimMasterBoard::reply(std::uint8_t code, std::uint8_t address, std::vector<SimReport>& replies)
{
    Station* s = address < MAX_STATIONS && station(address).present ? &station(address) : nullptr;
    SimReport r = recordReport();
    switch (code) {
    case 0x09:
        r.fill(0);
        r[1] = s ? address : NO_STATION;
        break;
    case 0x0A:
        r.fill(0);
        r[1] = s ? address : NO_STATION;
        if (s)
            std::copy(s->tables.mask.begin(), s->tables.mask.end(), r.begin() + 2);
        break;
    case 0x10: case 0x20: case 0xF0: {
        r.fill(0);
        if (!s)
            break;
        const ChannelValues values = code == 0x10   ? s->tables.upper
                                     : code == 0x20 ? s->tables.lower
                                                    : s->sensor.measure(midpoints(s->tables), s->tables.upper);
        for (std::size_t k = 0; k < 32; ++k)
            putBE16(r, 1 + 2 * k, values[k]);
        break;
    }
    case 0x30:
        r.fill(0);
        if (s)
            std::copy(s->tables.mask.begin(), s->tables.mask.end(), r.begin() + 1);
        break;
    case 0x32:
        std::copy(cellMap_.begin(), cellMap_.end(), r.begin() + 1); // texts follow: the host clears them
        break;
    case 0xD4:
        r.fill(0);
        std::copy(outputs_.begin(), outputs_.end(), r.begin() + 1);
        emergencyUnseen_ = false;
        break;
    case 0xD0:
        std::fill(r.begin() + 33, r.begin() + 49, 0);
        putText(r, 33, record_.logoText, 16);
        break;
    case 0xE0:
        std::fill(r.begin() + 49, r.end(), 0);
        putText(r, 49, record_.authorTag, 16);
        break;
    case 0x40: case 0x50: case 0x60: case 0x70: case 0x80: case 0x90: case 0xA0: case 0xB0: case 0xD8:
    case 0xDA: case 0xDC: case 0xF2: case 0xF4: case 0xF6:
        break; // the board record as it stands
    default:
        return; // unknown command: no answer
    }
    replies.push_back(r);
}

void SimMasterBoard::apply(std::uint8_t code, std::uint8_t address, const SimReport& d)
{
    Station* s = address < MAX_STATIONS && station(address).present ? &station(address) : nullptr;
    auto table16 = [&](ChannelValues& table) {
        for (std::size_t k = 0; k < 32; ++k)
            table[k] = getBE16(d, 1 + 2 * k);
    };
    switch (code) {
    case 0x11: if (s) table16(s->tables.upper); break;
    case 0x21: if (s) table16(s->tables.lower); break;
    case 0x31: if (s) std::copy_n(d.begin() + 1, 32, s->tables.mask.begin()); break;
    case 0x33: std::copy_n(d.begin() + 1, 32, cellMap_.begin()); break;
    case 0x41: record_.serialNumber = getText(d, 33, 16); break;
    case 0x51: record_.deviceId = getText(d, 49, 16); break;
    case 0x61: record_.firmwareVersion = getBE16(d, 1); break;
    case 0x71: record_.firmwareYear = getBE16(d, 3); break;
    case 0x81: record_.firmwareMonth = d[5]; break;
    case 0x91: record_.firmwareDay = d[6]; break;
    case 0xA1: record_.authorName = getText(d, 7, 8); break;
    case 0xB1: record_.optionFlags = d[15]; break;
    case 0xD1: record_.logoText = getText(d, 33, 16); break;
    case 0xD2:
        record_.textPair1 = getText(d, 1, 16);
        record_.textPair2 = getText(d, 17, 16);
        break;
    case 0xD3: {
        // A press the host has not read yet survives the write-back of an older block.
        const bool keep = emergencyUnseen_;
        std::copy_n(d.begin() + 1, 7, outputs_.begin());
        if (keep)
            outputs_[6] = 1;
        break;
    }
    case 0xD7: record_.dataMax = getBE16(d, 22); break;
    case 0xD9: record_.dataMin = getBE16(d, 24); break;
    case 0xDB: record_.modelCode = d[26]; break;
    case 0xE1: record_.authorTag = getText(d, 49, 16); break;
    case 0xF3: record_.buzzerMode = d[30]; break;
    case 0xF5: record_.rows = d[31]; break;
    case 0xF7: record_.columns = d[32]; break;
    default: break;
    }
}
