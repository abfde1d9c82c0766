#include "sim_kelspire_board.h"

#include <algorithm>
#include <cstring>

namespace {
bool isStationGet(std::uint8_t code)
{
    return code == 0x01 || code == 0x10 || code == 0x20 || code == 0x30 || code == 0xD8 || code == 0xDA;
}

bool isStationSet(std::uint8_t code)
{
    return code == 0x02 || code == 0x11 || code == 0x21 || code == 0x31 || code == 0xD7 || code == 0xD9;
}

bool isPlainSet(std::uint8_t code)
{
    return code == 0x41 || code == 0x51 || code == 0xD1 || code == 0xD5 || code == 0xDB || code == 0xF2;
}
} // namespace

SimDeviceSpec SimKelspireBoard::Identity(const std::string& manufacturer)
{
    const bool version2 = manufacturer == "VERSION2";
    return {static_cast<std::uint16_t>(version2 ? 0x16A0 : 0xDEFE), static_cast<std::uint16_t>(version2 ? 0x05DF : 0x12EF),
            std::wstring(manufacturer.begin(), manufacturer.end()), L"Kelspire"};
}

SimKelspireBoard::SimKelspireBoard(std::uint32_t seed)
{
    for (std::size_t i = 0; i < stations_.size(); ++i) {
        stations_[i].reference.fill(700);
        stations_[i].upper.fill(1100);
        stations_[i].lower.fill(500);
        sensors_[i] = std::make_unique<SimSensor>(seed + static_cast<std::uint32_t>(i));
    }
    layout_[0] = 1;
    layout_[1] = 2; // rows
    layout_[2] = 2; // columns
}

SimKelspireBoard::Station* SimKelspireBoard::find(int number)
{
    const int i = number - FIRST_STATION;
    return i >= 0 && i < STATIONS ? &stations_[static_cast<std::size_t>(i)] : nullptr;
}

SimKelspireBoard::Station SimKelspireBoard::station(int number) const
{
    std::lock_guard lock(mutex_);
    const int i = number - FIRST_STATION;
    return i >= 0 && i < STATIONS ? stations_[static_cast<std::size_t>(i)] : Station{};
}

void SimKelspireBoard::setStation(int number, const Station& station)
{
    std::lock_guard lock(mutex_);
    if (Station* s = find(number))
        *s = station;
}

std::array<std::uint8_t, 32> SimKelspireBoard::layout() const
{
    std::lock_guard lock(mutex_);
    return layout_;
}

void SimKelspireBoard::setLayout(const std::array<std::uint8_t, 32>& layout)
{
    std::lock_guard lock(mutex_);
    layout_ = layout;
}

SimKelspireBoard::Record SimKelspireBoard::record() const
{
    std::lock_guard lock(mutex_);
    return record_;
}

void SimKelspireBoard::setRecord(const Record& record)
{
    std::lock_guard lock(mutex_);
    record_ = record;
}

SimSensor& SimKelspireBoard::sensor(int number)
{
    const int i = std::clamp(number - FIRST_STATION, 0, STATIONS - 1);
    return *sensors_[static_cast<std::size_t>(i)];
}

void SimKelspireBoard::setScenario(bool on)
{
    for (auto& s : sensors_)
        s->setScenario(on);
}

void SimKelspireBoard::onOutputReport(const SimReport& report, std::vector<SimReport>& replies)
{
    std::lock_guard lock(mutex_);
    switch (stage_) {
    case Stage::StationReport:
        pendingStation_ = report[1];
        if (isStationGet(pendingCode_)) {
            stage_ = Stage::Command;
            stationReply(pendingCode_, pendingStation_, replies);
        } else {
            stage_ = Stage::Data;
        }
        return;
    case Stage::Data:
        stage_ = Stage::Command;
        apply(pendingCode_, report); // no acknowledge: this board never answers a set
        return;
    case Stage::Command:
        break;
    }
    if (report[1] != 0x01 || report[2] != 0x29)
        return;
    const std::uint8_t code = report[3];
    if (code == 0xF0) {
        stationReply(code, report[4], replies);
    } else if (isStationGet(code) || isStationSet(code)) {
        pendingCode_ = code;
        stage_ = Stage::StationReport;
    } else if (isPlainSet(code)) {
        pendingCode_ = code;
        stage_ = Stage::Data;
    } else {
        replyTo(code, replies);
    }
}

void SimKelspireBoard::stationReply(std::uint8_t code, int number, std::vector<SimReport>& replies)
{
    SimReport r{};
    if (code == 0x30 && number == LAYOUT_STATION) {
        std::copy(layout_.begin(), layout_.end(), r.begin() + 1);
        replies.push_back(r);
        return;
    }
    const Station* s = find(number);
    if (!s) {
        replies.push_back(r); // no station there: the board answers zeros
        return;
    }
    const std::size_t i = static_cast<std::size_t>(number - FIRST_STATION);
    switch (code) {
    case 0xF0: {
        const ChannelValues values = sensors_[i]->measure(s->reference, s->upper);
        for (std::size_t k = 0; k < 32; ++k)
            putLE16(r, 1 + 2 * k, values[k]);
        break;
    }
    case 0x01: case 0x10: case 0x20: {
        const ChannelValues& table = code == 0x01 ? s->reference : code == 0x10 ? s->upper : s->lower;
        for (std::size_t k = 0; k < 32; ++k)
            putBE16(r, 1 + 2 * k, table[k]);
        break;
    }
    case 0x30: std::copy(s->mask.begin(), s->mask.end(), r.begin() + 1); break;
    case 0xD8: putBE16(r, 1, s->dataMax); break;
    case 0xDA: putBE16(r, 1, s->dataMin); break;
    default: break;
    }
    replies.push_back(r);
}

void SimKelspireBoard::replyTo(std::uint8_t code, std::vector<SimReport>& replies)
{
    SimReport r{};
    switch (code) {
    case 0x40: putText(r, 1, record_.authorTag, 16); break;
    case 0x50: putText(r, 1, record_.deviceId, 16); break;
    case 0xD4: r[1] = record_.outputs[0]; r[2] = record_.outputs[1]; break;
    case 0x60: case 0x70: case 0x80: case 0x90: case 0xA0: case 0xB0: case 0xD0: case 0xD6: case 0xDC:
    case 0xF1:
        putBE16(r, 1, record_.firmwareVersion);
        putBE16(r, 3, record_.firmwareYear);
        r[5] = record_.firmwareMonth;
        r[6] = record_.firmwareDay;
        putText(r, 7, record_.authorName, 8);
        r[15] = record_.optionFlags;
        r[20] = record_.aux;
        r[21] = record_.offlineDisplayMode;
        r[26] = record_.modelCode;
        putText(r, 33, record_.logoText, 16);
        break;
    default:
        return; // unknown command: no answer
    }
    replies.push_back(r);
}

void SimKelspireBoard::apply(std::uint8_t code, const SimReport& d)
{
    if (code == 0x31 && pendingStation_ == LAYOUT_STATION) {
        std::copy_n(d.begin() + 1, 32, layout_.begin());
        return;
    }
    auto table16 = [&](ChannelValues& table) {
        for (std::size_t k = 0; k < 32; ++k)
            table[k] = getBE16(d, 1 + 2 * k);
    };
    Station* s = find(pendingStation_);
    switch (code) {
    case 0x02: if (s) table16(s->reference); break;
    case 0x11: if (s) table16(s->upper); break;
    case 0x21: if (s) table16(s->lower); break;
    case 0x31: if (s) std::copy_n(d.begin() + 1, 32, s->mask.begin()); break;
    case 0xD7: if (s) s->dataMax = getBE16(d, 1); break;
    case 0xD9: if (s) s->dataMin = getBE16(d, 1); break;
    case 0x41: record_.authorTag = getText(d, 1, 16); break;
    case 0x51: record_.deviceId = getText(d, 1, 16); break;
    case 0xD1: record_.logoText = getText(d, 33, 16); break;
    case 0xD5: record_.offlineDisplayMode = d[21]; break;
    case 0xDB: record_.modelCode = d[26]; break;
    case 0xF2: record_.aux = d[20]; break;
    default: break;
    }
}
