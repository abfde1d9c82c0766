#include "cabout_dlg_harrowin.h"

#include "about_common.h"
#include "dialog_exchange.h"
#include "dialog_fit.h"
#include "dialog_units.h"
#include "program_version.h"

#include <QCoreApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

CAboutDlgHarrowin::CAboutDlgHarrowin(QWidget* parent) : CInfoDialog(parent, false)
{
    about::SetUpFrame(this, 457, 323, "Vorlaine", QRect(115, 10, 65, 14));
    about::Group(this, QT_TRANSLATE_NOOP("about", "固件信息"), QRect(10, 45, 180, 225));
    about::Field(this, IDC_FIRMWARE_VERSION, QRect(65, 75, 100, 14), QT_TRANSLATE_NOOP("about", "固件版本"), QRect(15, 78, 48, 8));
    about::Field(this, IDC_FIRMWARE_DATE, QRect(65, 95, 100, 14), QT_TRANSLATE_NOOP("about", "固件日期"), QRect(15, 98, 48, 8));
    about::Field(this, IDC_DEVICE_ID, QRect(65, 55, 100, 14), QT_TRANSLATE_NOOP("about", "设备标识号"), QRect(15, 58, 48, 8));
    about::Label(this, QT_TRANSLATE_NOOP("about", "版本信息"), QRect(15, 120, 60, 8));
    about::ReleaseHistoryField(this, QRect(15, 130, 165, 135), QString());
    switchBox_ = PlaceControl(new QCheckBox(tr("使能横列数重设"), this), IDC_LAYOUT_SWITCH,
                              QRect(120, 276, 72, 10));
    connect(switchBox_, &QCheckBox::clicked, this, [this] { OnResetSwitchClicked(); });
    // Right-aligned over the room to the left of their fields: the English words are wider.
    about::Label(this, QT_TRANSLATE_NOOP("about", "列"), QRect(60, 279, 16, 8))->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    PlaceControl(new QLineEdit(this), IDC_COLUMNS, QRect(78, 276, 28, 14));
    about::Label(this, QT_TRANSLATE_NOOP("about", "行"), QRect(12, 279, 16, 8))->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    PlaceControl(new QLineEdit(this), IDC_ROWS, QRect(30, 276, 28, 14));
    logo_ = about::LogoControl(this);
    auto* ok = PlaceControl(new QPushButton(tr("确定"), this), IDC_OK, QRect(12, 294, 180, 18));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { accept(); });
    FitTextLines(this);
}

void CAboutDlgHarrowin::InitControls()
{
    ShowLogo(logoTag);
    programVersionText = ProgramVersionText();
    qobject_cast<QPlainTextEdit*>(Control(IDC_RELEASE_HISTORY))->setPlainText(releaseHistoryText);
    switchBox_->setChecked(layoutSwitch == 1);
    SetFieldText(IDC_FIRMWARE_VERSION, firmwareVersionText);
    SetFieldText(IDC_FIRMWARE_DATE, firmwareDateText);
    SetFieldText(IDC_PROGRAM_VERSION, programVersionText);
    SetFieldText(IDC_DEVICE_ID, deviceIdText);
    SetFieldText(IDC_COLUMNS, QString::number(columns));
    SetFieldText(IDC_ROWS, QString::number(rows));
}

void CAboutDlgHarrowin::OnResetSwitchClicked()
{
    layoutSwitch = switchBox_->isChecked() ? 1 : 0;
}

void CAboutDlgHarrowin::accept()
{
    // Columns first, then rows: a refusal stops at its field, which gets the focus.
    for (const auto& [id, field] : {std::pair{IDC_COLUMNS, &columns}, {IDC_ROWS, &rows}}) {
        auto* edit = qobject_cast<QLineEdit*>(Control(id));
        const auto value = ParseDialogInteger(edit->text());
        if (!value || *value < 0 || *value > 255) {
            QMessageBox box(QMessageBox::Warning, QStringLiteral("Vorlaine"),
                            tr("请输入一个 0 至 255 之间的整数。"), QMessageBox::Ok, this);
            box.exec();
            edit->setFocus();
            edit->selectAll();
            return;
        }
        *field = static_cast<std::uint8_t>(*value);
    }
    QDialog::accept();
}
