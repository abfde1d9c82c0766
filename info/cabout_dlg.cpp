#include "cabout_dlg.h"

#include "about_common.h"
#include "dialog_fit.h"
#include "dialog_units.h"
#include "program_version.h"

#include <QCoreApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
// Fields with their labels at x 25, in the order of the dialog's members.
struct FieldPlace {
    int id;
    const char* label;
    int y;
};
constexpr FieldPlace FIELDS[] = {
    {CAboutDlg::IDC_AUTHOR, QT_TRANSLATE_NOOP("about", "作者"), 140},
    {CAboutDlg::IDC_DEVICE_ID, QT_TRANSLATE_NOOP("about", "设备标识号"), 80},
    {CAboutDlg::IDC_SERIAL_NUMBER, QT_TRANSLATE_NOOP("about", "产品序列号"), 60},
    {CAboutDlg::IDC_FIRMWARE_VERSION, QT_TRANSLATE_NOOP("about", "固件版本"), 100},
    {CAboutDlg::IDC_FIRMWARE_DATE, QT_TRANSLATE_NOOP("about", "固件日期"), 120},
};
} // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : CInfoDialog(parent, true)
{
    about::SetUpFrame(this, 457, 300, "Vorlaine ", QRect(112, 10, 72, 14));
    about::Group(this, QT_TRANSLATE_NOOP("about", "固件信息"), QRect(10, 45, 180, 225));
    for (const FieldPlace& f : FIELDS)
        about::Field(this, f.id, QRect(75, f.y, 100, 14), f.label, QRect(25, f.y + 5, 48, 8));
    about::Label(this, QT_TRANSLATE_NOOP("about", "开机LCD LOGO"), QRect(35, 205, 100, 8));
    about::Field(this, IDC_BOOT_LOGO, QRect(35, 215, 140, 14));
    offlineBox_ = PlaceControl(new QCheckBox(tr("脱机运行方式显示每条通道方式"), this), IDC_OFFLINE_DISPLAY,
                               QRect(35, 235, 140, 10));
    about::Field(this, IDC_MODEL, QRect(35, 250, 130, 14))->setFrame(false);
    logo_ = about::LogoControl(this);
    auto* ok = PlaceControl(new QPushButton(tr("确定"), this), IDC_OK, QRect(140, 275, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { accept(); });
    FitTextLines(this);
}

void CAboutDlg::InitControls()
{
    offlineBox_->setEnabled(offlineOptionOffered);
    ShowLogo(logoTag);
    programVersionText = ProgramVersionText();
    const std::pair<int, const QString*> texts[] = {
        {IDC_AUTHOR, &authorText},
        {IDC_DEVICE_ID, &deviceIdText},
        {IDC_SERIAL_NUMBER, &serialNumberText},
        {IDC_FIRMWARE_VERSION, &firmwareVersionText},
        {IDC_BOOT_LOGO, &bootLogoText},
        {IDC_FIRMWARE_DATE, &firmwareDateText},
        {IDC_MODEL, &modelText},
        {IDC_PROGRAM_VERSION, &programVersionText},
    };
    for (const auto& [id, text] : texts)
        SetFieldText(id, *text);
    offlineBox_->setChecked(offlineDisplay);
}

void CAboutDlg::accept()
{
    offlineDisplay = offlineBox_->isChecked();
    QDialog::accept();
}
