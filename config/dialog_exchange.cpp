#include "dialog_exchange.h"

#include <cerrno>
#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>

namespace {
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool OnlyBlanksFrom(const char* p)
{
    while (*p != '\0' && IsBlank(*p))
        ++p;
    return *p == '\0';
}

locale_t CLocale()
{
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}
} // namespace

std::optional<int> ParseDialogInteger(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    const char* p = bytes.constData();
    while (IsBlank(*p))
        ++p;
    const char* start = p;
    if (*p == '+' || *p == '-')
        ++p;
    if (*p < '0' || *p > '9')
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(start, &end, 10);
    if (errno == ERANGE || value < INT_MIN || value > INT_MAX || !OnlyBlanksFrom(end))
        return std::nullopt;
    return static_cast<int>(value);
}

std::optional<float> ParseDialogNumber(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    const char* p = bytes.constData();
    while (IsBlank(*p))
        ++p;
    if (*p == '\0')
        return std::nullopt;
    char* end = nullptr;
    const double value = strtod_l(p, &end, CLocale());
    if (end == p || !OnlyBlanksFrom(end) || !std::isfinite(value) || std::fabs(value) > FLT_MAX)
        return std::nullopt;
    return static_cast<float>(value);
}

QString FormatDialogNumber(float value)
{
    return QString::number(static_cast<double>(value), 'g', FLT_DIG);
}

double LeadingNumber(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    const double value = strtod_l(bytes.constData(), nullptr, CLocale());
    return std::isfinite(value) ? value : 0.0;
}

int LeadingInteger(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    const long long value = std::strtoll(bytes.constData(), nullptr, 10);
    return static_cast<int>(static_cast<unsigned int>(value)); // low 32 bits
}
