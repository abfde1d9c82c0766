#include "test_record.h"

#include <QDateTime>
#include <QString>

std::string FormatUtc(std::int64_t ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs).toStdString();
}

bool ParseUtc(const std::string& text, std::int64_t* ms)
{
    const QString s = QString::fromStdString(text).trimmed();
    QDateTime t = QDateTime::fromString(s, Qt::ISODateWithMs);
    if (!t.isValid()) {
        const QDate day = QDate::fromString(s, Qt::ISODate);
        if (!day.isValid())
            return false;
        t = QDateTime(day, QTime(0, 0), Qt::UTC);
    }
    if (t.timeSpec() == Qt::LocalTime) // no offset given: records are kept in UTC
        t = QDateTime(t.date(), t.time(), Qt::UTC);
    *ms = t.toMSecsSinceEpoch();
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
