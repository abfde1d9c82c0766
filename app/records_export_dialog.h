#pragma once
// The time range of a test-record export, in local time as the operator thinks of it.
#include <QDialog>

#include <cstdint>

class QDateTimeEdit;

class CRecordsRangeDlg : public QDialog {
    Q_OBJECT

public:
    explicit CRecordsRangeDlg(QWidget* parent = nullptr);
    // UTC milliseconds; `until` is exclusive.
    std::int64_t SinceMs() const;
    std::int64_t UntilMs() const;
    QDateTimeEdit* since = nullptr;
    QDateTimeEdit* until = nullptr;
};
