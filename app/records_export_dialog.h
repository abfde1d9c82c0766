#pragma once
// The time range of a test-record export, in local time as the operator thinks of it, each end
// labelled with its offset from UTC (which may differ across a daylight-saving change).
#include <QDialog>

#include <cstdint>

class QDateTime;
class QDateTimeEdit;
class QLabel;

// "UTC+08:00", "UTC-03:30": the offset of `local` in its zone.
QString UtcOffsetText(const QDateTime& local);

class CRecordsRangeDlg : public QDialog {
    Q_OBJECT

public:
    explicit CRecordsRangeDlg(QWidget* parent = nullptr);
    // UTC milliseconds; `until` is exclusive.
    std::int64_t SinceMs() const;
    std::int64_t UntilMs() const;
    // The CSV's name: the range in the local times chosen, with their zone, as the stamps inside
    // are UTC. "records-20261211-0000-20261211-0655-UTC+0800.csv"; each end carries its own
    // offset when they differ.
    QString SuggestedFileName() const;
    QDateTimeEdit* since = nullptr;
    QDateTimeEdit* until = nullptr;
    QLabel* sinceZone = nullptr;
    QLabel* untilZone = nullptr;
};
