#include "records_export_dialog.h"

#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include <cstdlib>
#include <tuple>

QString UtcOffsetText(const QDateTime& local)
{
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return QStringLiteral("UTC%1%2:%3")
        .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

CRecordsRangeDlg::CRecordsRangeDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("导出测试记录"));
    const QDateTime now = QDateTime::currentDateTime();
    since = new QDateTimeEdit(QDateTime(now.date(), QTime(0, 0)), this); // from the start of today
    until = new QDateTimeEdit(now.addSecs(60), this);
    sinceZone = new QLabel(this);
    untilZone = new QLabel(this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    // An end before the start is no range.
    auto check = [this, buttons] {
        buttons->button(QDialogButtonBox::Ok)->setEnabled(UntilMs() >= SinceMs());
        sinceZone->setText(UtcOffsetText(since->dateTime()));
        untilZone->setText(UtcOffsetText(until->dateTime()));
    };
    auto* form = new QFormLayout(this);
    for (auto [edit, zone, label] : {std::tuple{since, sinceZone, tr("开始时间")}, std::tuple{until, untilZone, tr("结束时间")}}) {
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        edit->setCalendarPopup(true);
        connect(edit, &QDateTimeEdit::dateTimeChanged, this, check);
        auto* row = new QHBoxLayout;
        row->addWidget(edit);
        row->addWidget(zone);
        form->addRow(label, row);
    }
    check();
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

std::int64_t CRecordsRangeDlg::SinceMs() const
{
    return since->dateTime().toMSecsSinceEpoch();
}

std::int64_t CRecordsRangeDlg::UntilMs() const
{
    return until->dateTime().toMSecsSinceEpoch();
}

QString CRecordsRangeDlg::SuggestedFileName() const
{
    const QString format = QStringLiteral("yyyyMMdd-HHmm");
    const QDateTime from = since->dateTime(), to = until->dateTime();
    auto zone = [](const QDateTime& t) { return UtcOffsetText(t).remove(QLatin1Char(':')); };
    const QString first = from.offsetFromUtc() == to.offsetFromUtc() ? from.toString(format)
                                                                      : from.toString(format) + QLatin1Char('-') + zone(from);
    return QStringLiteral("records-%1-%2-%3.csv").arg(first, to.toString(format), zone(to));
}
