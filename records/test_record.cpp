#include "test_record.h"

#include <QDateTime>
#include <QString>

#include <cctype>

namespace {
// Days from 1970-01-01 to the given day of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int DaysInMonth(int year, int month)
{
    static constexpr int DAYS[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : DAYS[month - 1];
}

// Reads exactly `digits` decimal digits at `pos`.
bool Digits(const std::string& text, std::size_t& pos, std::size_t digits, int* value)
{
    if (pos + digits > text.size())
        return false;
    int v = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[pos + i]);
        if (!std::isdigit(c))
            return false;
        v = v * 10 + (c - '0');
    }
    pos += digits;
    *value = v;
    return true;
}

bool Expect(const std::string& text, std::size_t& pos, char c)
{
    if (pos >= text.size() || text[pos] != c)
        return false;
    ++pos;
    return true;
}
} // namespace

std::string FormatUtc(std::int64_t ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs).toStdString();
}

// Built from the parts alone: a time without an offset is UTC whatever the machine's zone, and
// anything but a whole date or date-time is refused rather than read as something near it.
bool ParseUtc(const std::string& text, std::int64_t* ms)
{
    std::size_t pos = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milli = 0, offsetMinutes = 0;
    if (!Digits(text, pos, 4, &year) || !Expect(text, pos, '-') || !Digits(text, pos, 2, &month) ||
        !Expect(text, pos, '-') || !Digits(text, pos, 2, &day))
        return false;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return false;
    if (pos < text.size()) {
        if (!Expect(text, pos, 'T') || !Digits(text, pos, 2, &hour) || !Expect(text, pos, ':') ||
            !Digits(text, pos, 2, &minute) || !Expect(text, pos, ':') || !Digits(text, pos, 2, &second))
            return false;
        if (hour > 23 || minute > 59 || second > 59)
            return false;
        if (pos < text.size() && text[pos] == '.' && !(++pos, Digits(text, pos, 3, &milli)))
            return false;
        if (pos < text.size() && text[pos] == 'Z') {
            ++pos;
        } else if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
            const int sign = text[pos++] == '-' ? -1 : 1;
            int oh = 0, om = 0;
            if (!Digits(text, pos, 2, &oh) || !Expect(text, pos, ':') || !Digits(text, pos, 2, &om) || oh > 23 ||
                om > 59)
                return false;
            offsetMinutes = sign * (oh * 60 + om);
        }
        if (pos != text.size())
            return false;
    }
    const std::int64_t seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second -
                                 static_cast<std::int64_t>(offsetMinutes) * 60;
    *ms = seconds * 1000 + milli;
    return true;
}

std::int64_t NowUtcMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

std::string ChannelList(std::uint32_t bits)
{
    std::string text;
    for (int k = 0; k < GRID_CHANNELS; ++k) {
        if ((bits >> k & 1u) == 0)
            continue;
        if (!text.empty())
            text += ' ';
        text += std::to_string(k);
    }
    return text;
}
