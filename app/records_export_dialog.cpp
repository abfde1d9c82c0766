#include "records_export_dialog.h"

#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>

CRecordsRangeDlg::CRecordsRangeDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("导出测试记录"));
    const QDateTime now = QDateTime::currentDateTime();
    since = new QDateTimeEdit(QDateTime(now.date(), QTime(0, 0)), this); // from the start of today
    until = new QDateTimeEdit(now.addSecs(60), this);
    for (QDateTimeEdit* edit : {since, until}) {
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        edit->setCalendarPopup(true);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    // An end before the start is no range.
    auto check = [this, buttons] { buttons->button(QDialogButtonBox::Ok)->setEnabled(UntilMs() >= SinceMs()); };
    for (QDateTimeEdit* edit : {since, until})
        connect(edit, &QDateTimeEdit::dateTimeChanged, this, check);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* form = new QFormLayout(this);
    form->addRow(tr("开始时间"), since);
    form->addRow(tr("结束时间"), until);
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
