// The export dialog in a zone other than UTC: each end names its offset, the range goes out in UTC
// milliseconds, and the proposed file name says in which zone the range was chosen.
#include "local_zone.h"
#include "records_export_dialog.h"

#include <QDateTimeEdit>
#include <QLabel>
#include <gtest/gtest.h>

namespace {

TEST(ExportRange, LocalTimesCarryTheirZoneAndLeaveAsUtc)
{
    const struct {
        const char* zone;
        QDateTime since, until; // local times as typed
        const char* sinceZone;
        const char* untilZone;
        const char* sinceUtc;
        const char* name;
    } rows[] = {
        {"Asia/Shanghai", {{2026, 12, 10}, {8, 0}}, {{2026, 12, 10}, {16, 0}}, "UTC+08:00", "UTC+08:00",
         "2026-12-10T00:00:00Z", "records-20261210-0800-20261210-1600-UTC+0800.csv"},
        // Across the spring change: each end has its own offset.
        {"Europe/Berlin", {{2026, 3, 28}, {12, 0}}, {{2026, 3, 30}, {12, 0}}, "UTC+01:00", "UTC+02:00",
         "2026-03-28T11:00:00Z", "records-20260328-1200-UTC+0100-20260330-1200-UTC+0200.csv"},
        {"America/St_Johns", {{2026, 12, 10}, {8, 0}}, {{2026, 12, 11}, {8, 0}}, "UTC-03:30", "UTC-03:30",
         "2026-12-10T11:30:00Z", "records-20261210-0800-20261211-0800-UTC-0330.csv"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.zone);
        const LocalZone zone(row.zone);
        CRecordsRangeDlg dialog;
        dialog.since->setDateTime(QDateTime(row.since.date(), row.since.time()));
        dialog.until->setDateTime(QDateTime(row.until.date(), row.until.time()));
        EXPECT_EQ(dialog.sinceZone->text().toStdString(), row.sinceZone);
        EXPECT_EQ(dialog.untilZone->text().toStdString(), row.untilZone);
        EXPECT_EQ(QDateTime::fromMSecsSinceEpoch(dialog.SinceMs(), Qt::UTC).toString(Qt::ISODate).toStdString(), row.sinceUtc);
        EXPECT_EQ(dialog.SuggestedFileName().toStdString(), row.name);
    }
}

} // namespace
