#include "sim_runoff_board.h"

#include <algorithm>
#include <cstring>

namespace {
bool isSetCode(std::uint8_t code)
{
    switch (code) {
    case 0x02: case 0x11: case 0x21: case 0x31: case 0x41: case 0x51: case 0x61: case 0x71:
    case 0x81: case 0x91: case 0xA1: case 0xD1: case 0xD2: case 0xD3: case 0xD5: case 0xD7:
    case 0xD9: case 0xDB: case 0xE1: case 0xF2:
        return true;
    default:
        return false;
    }
}
} // namespace

SimDeviceSpec SimRunoffBoard::Identity(const std::string& manufacturer)
{
    return {0x16A0, 0x05DF, std::wstring(manufacturer.begin(), manufacturer.end()), L"Quarnel"};
}

SimRunoffBoard::SimRunoffBoard(std::uint32_t seed) : sensor_(seed)
{
    tables_.reference.fill(700);
    tables_.upper.fill(1100);
    tables_.lower.fill(500);
}

SimRunoffBoard::Record SimRunoffBoard::record() const
{
    std::lock_guard lock(mutex_);
    return record_;
}

void SimRunoffBoard::setRecord(const Record& record)
{
    std::lock_guard lock(mutex_);
    record_ = record;
}

SimRunoffBoard::Tables SimRunoffBoard::tables() const
{
    std::lock_guard lock(mutex_);
    return tables_;
}

void SimRunoffBoard::setTables(const Tables& tables)
{
    std::lock_guard lock(mutex_);
    tables_ = tables;
}

std::array<std::uint8_t, 4> SimRunoffBoard::outputs() const
{
    std::lock_guard lock(mutex_);
    return outputs_;
}

SimReport SimRunoffBoard::recordReport() const
{
    SimReport r{};
    putBE16(r, 1, record_.firmwareVersion);
    putBE16(r, 3, record_.firmwareYear);
    r[5] = record_.firmwareMonth;
    r[6] = record_.firmwareDay;
    putText(r, 7, record_.authorName, 8);
    r[15] = record_.optionFlags;
    r[20] = record_.aux;
    r[21] = record_.offlineDisplayMode;
    putBE16(r, 22, record_.dataMax);
    putBE16(r, 24, record_.dataMin);
    r[26] = record_.modelCode;
    putText(r, 33, record_.serialNumber, 16);
    putText(r, 49, record_.deviceId, 16);
    return r;
}

void SimRunoffBoard::onOutputReport(const SimReport& report, std::vector<SimReport>& replies)
{
    std::lock_guard lock(mutex_);
    if (awaitingData_ >= 0) {
        const auto code = static_cast<std::uint8_t>(awaitingData_);
        awaitingData_ = -1;
        apply(code, report);
        if (code != 0xE1) // the author tag is written without an acknowledge
            replies.push_back(report);
        return;
    }
    if (report[1] != 0x01 || report[2] != 0x29)
        return; // not a command: ignored, as the firmware does
    const std::uint8_t code = report[3];
    if (isSetCode(code))
        awaitingData_ = code;
    else
        reply(code, replies);
}

void SimRunoffBoard::reply(std::uint8_t code, std::vector<SimReport>& replies)
{
    SimReport r = recordReport();
    switch (code) {
    case 0xF0: {
        const ChannelValues values = sensor_.measure(tables_.reference, tables_.upper);
        r.fill(0);
        for (std::size_t k = 0; k < 32; ++k)
            putLE16(r, 1 + 2 * k, values[k]);
        break;
    }
    case 0x01: case 0x10: case 0x20: {
        const ChannelValues& table = code == 0x01 ? tables_.reference : code == 0x10 ? tables_.upper : tables_.lower;
        r.fill(0);
        for (std::size_t k = 0; k < 32; ++k)
            putBE16(r, 1 + 2 * k, table[k]);
        break;
    }
    case 0x30:
        r.fill(0);
        std::copy(tables_.mask.begin(), tables_.mask.end(), r.begin() + 1);
        break;
    case 0xD4:
        r.fill(0);
        std::copy(outputs_.begin(), outputs_.end(), r.begin() + 1);
        break;
    case 0xD0:
        std::fill(r.begin() + 33, r.begin() + 49, 0);
        putText(r, 33, record_.logoText, 16);
        break;
    case 0xE0:
        std::fill(r.begin() + 49, r.end(), 0);
        putText(r, 49, record_.authorTag, 16);
        break;
    case 0x50: case 0xA0: case 0x60: case 0x70: case 0x80: case 0x90: case 0xB0: case 0xD6:
    case 0xD8: case 0xDA: case 0xDC: case 0xF1:
        break; // the board record as it stands
    default:
        return; // unknown command: no answer
    }
    replies.push_back(r);
}

void SimRunoffBoard::apply(std::uint8_t code, const SimReport& d)
{
    auto table16 = [&](ChannelValues& table) {
        for (std::size_t k = 0; k < 32; ++k)
            table[k] = getBE16(d, 1 + 2 * k);
    };
    switch (code) {
    case 0x02: table16(tables_.reference); break;
    case 0x11: table16(tables_.upper); break;
    case 0x21: table16(tables_.lower); break;
    case 0x31: std::copy_n(d.begin() + 1, 32, tables_.mask.begin()); break;
    case 0x41: record_.serialNumber = getText(d, 33, 16); break;
    case 0x51: record_.deviceId = getText(d, 49, 16); break;
    case 0x61: record_.firmwareVersion = getBE16(d, 1); break;
    case 0x71: record_.firmwareYear = getBE16(d, 3); break;
    case 0x81: record_.firmwareMonth = d[5]; break;
    case 0x91: record_.firmwareDay = d[6]; break;
    case 0xA1: record_.authorName = getText(d, 7, 8); break;
    case 0xD1: record_.logoText = getText(d, 33, 16); break;
    case 0xD2:
        record_.textPair1 = getText(d, 1, 16);
        record_.textPair2 = getText(d, 17, 16);
        break;
    case 0xD3: std::copy_n(d.begin() + 1, 4, outputs_.begin()); break;
    case 0xD5: record_.offlineDisplayMode = d[21]; break;
    case 0xD7: record_.dataMax = getBE16(d, 22); break;
    case 0xD9: record_.dataMin = getBE16(d, 24); break;
    case 0xDB: record_.modelCode = d[26]; break;
    case 0xE1: record_.authorTag = getText(d, 49, 16); break;
    case 0xF2: record_.aux = d[20]; break;
    default: break;
    }
}
