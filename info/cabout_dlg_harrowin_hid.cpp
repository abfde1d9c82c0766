#include "cabout_dlg_harrowin_hid.h"

#include "about_common.h"
#include "cedit_list_ctrl.h"
#include "creset_row_col_dlg.h"
#include "dialog_fit.h"
#include "dialog_units.h"
#include "program_version.h"

#include <QCoreApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>
#include <cstdlib>

namespace {
constexpr int STATION_COLUMN_UNITS = 80;

// The C library's integer conversion of at most 255 characters of a cell; no number gives 0.
long CellNumber(const QString& text)
{
    const QByteArray bytes = text.left(255).toLatin1();
    return std::strtol(bytes.constData(), nullptr, 10);
}
} // namespace

CAboutDlgHarrowinHID::CAboutDlgHarrowinHID(QWidget* parent) : CInfoDialog(parent, false)
{
    about::SetUpFrame(this, 457, 300, "Vorlaine", QRect(115, 10, 65, 14));
    about::Group(this, QT_TRANSLATE_NOOP("about", "固件信息"), QRect(10, 40, 180, 145));
    about::Field(this, IDC_DEVICE_ID, QRect(65, 50, 100, 14), QT_TRANSLATE_NOOP("about", "设备标识号"), QRect(15, 53, 48, 8));
    about::Field(this, IDC_FIRMWARE_VERSION, QRect(65, 65, 100, 14), QT_TRANSLATE_NOOP("about", "固件版本"), QRect(15, 68, 48, 8));
    about::Field(this, IDC_FIRMWARE_DATE, QRect(65, 80, 100, 14), QT_TRANSLATE_NOOP("about", "固件日期"), QRect(15, 83, 48, 8));
    about::Label(this, QT_TRANSLATE_NOOP("about", "版本信息"), QRect(15, 100, 60, 8));
    about::ReleaseHistoryField(this, QRect(15, 110, 165, 70), QString());

    about::Group(this, QT_TRANSLATE_NOOP("about", "蜂鸣器状态"), QRect(10, 190, 180, 30));
    buzzerOnBox_ = PlaceControl(new QCheckBox(tr("启用蜂鸣器"), this), IDC_BUZZER_ON, QRect(20, 200, 55, 15));
    buzzerInvertedBox_ =
        PlaceControl(new QCheckBox(tr("蜂鸣器反转"), this), IDC_BUZZER_INVERTED, QRect(80, 200, 55, 15));
    auto button = [this](int id, const char* text, const QRect& units) {
        auto* b = PlaceControl(new QPushButton(QCoreApplication::translate("about", text), this), id, units);
        b->setAutoDefault(false);
        return b;
    };
    connect(button(IDC_CLEAR_EMERGENCY_STOP, QT_TRANSLATE_NOOP("about", "清急停"), QRect(136, 200, 50, 14)), &QPushButton::clicked, this,
            [this] { OnClearEmergencyStop(); });

    stationList = PlaceControl(new CEditListCtrl(this), IDC_STATION_LIST, QRect(10, 225, 180, 45));
    connect(button(IDC_RESET_ROWS_COLUMNS, QT_TRANSLATE_NOOP("about", "重设行列数"), QRect(10, 275, 50, 14)), &QPushButton::clicked, this,
            [this] { OnResetRowsColumns(); });
    connect(button(IDC_OK, QT_TRANSLATE_NOOP("about", "确定"), QRect(85, 275, 50, 14)), &QPushButton::clicked, this, [this] { accept(); });
    auto* cancel = button(IDC_CANCEL, QT_TRANSLATE_NOOP("about", "取消"), QRect(140, 275, 50, 14));
    cancel->setDefault(true);
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
    logo_ = about::LogoControl(this);
    FitTextLines(this);
}

void CAboutDlgHarrowinHID::InitControls()
{
    ShowLogo(logoTag);
    programVersionText = ProgramVersionText();
    SetFieldText(IDC_PROGRAM_VERSION, programVersionText);
    qobject_cast<QPlainTextEdit*>(Control(IDC_RELEASE_HISTORY))->setPlainText(releaseHistoryText);
    SetFieldText(IDC_FIRMWARE_VERSION, firmwareVersionText);
    SetFieldText(IDC_FIRMWARE_DATE, firmwareDateText);
    SetFieldText(IDC_DEVICE_ID, deviceIdText);
    buzzerOnBox_->setChecked(buzzerOn);
    buzzerInvertedBox_->setChecked(buzzerInverted);
    BuildStationList(false);
}

// Columns "第1列" to "第N列", 80 units wide, and one row per grid row holding the station numbers,
// or each cell's own index after a reset.
void CAboutDlgHarrowinHID::BuildStationList(bool defaultNumbers)
{
    const int shownRows = std::clamp(rows, 0, MAX_CELLS);
    const int shownColumns = std::clamp(columns, 0, MAX_CELLS);
    stationList->setRowCount(0);
    stationList->setColumnCount(shownColumns);
    QStringList titles;
    for (int c = 0; c < shownColumns; ++c)
        titles << tr("第%1列").arg(c + 1);
    stationList->setHorizontalHeaderLabels(titles);
    const int width = DialogUnitsToPixels(QRect(0, 0, STATION_COLUMN_UNITS, 0), stationList->font()).width();
    for (int c = 0; c < shownColumns; ++c) {
        stationList->setColumnWidth(c, width);
        stationList->horizontalHeaderItem(c)->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }
    stationList->verticalHeader()->setDefaultSectionSize(stationList->fontMetrics().height() + 4);
    stationList->setRowCount(shownRows);
    for (int r = 0; r < shownRows; ++r) {
        for (int c = 0; c < shownColumns; ++c) {
            const int i = r * shownColumns + c;
            const int number = defaultNumbers || i >= MAX_CELLS ? i : stationNumbers[static_cast<std::size_t>(i)];
            stationList->setItem(r, c, new QTableWidgetItem(QString::number(number)));
        }
    }
}

void CAboutDlgHarrowinHID::OnClearEmergencyStop()
{
    if (clearEmergencyStop)
        clearEmergencyStop();
}

void CAboutDlgHarrowinHID::OnResetRowsColumns()
{
    CResetRowColDlg dlg(this);
    dlg.columnCount = columns;
    dlg.rowCount = rows;
    if (dlg.exec() != QDialog::Accepted)
        return;
    columns = dlg.columnCount;
    rows = dlg.rowCount;
    BuildStationList(true);
}

bool CAboutDlgHarrowinHID::Refuse(const QString& text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Vorlaine"), text, QMessageBox::Ok, this);
    box.exec();
    return false;
}

void CAboutDlgHarrowinHID::accept()
{
    // The board's map has room for 16 cells; a bigger layout would address beyond it.
    if (rows * columns > MAP_CELLS) {
        Refuse(tr("脱机主机的单元表最多容纳 %1 个单元，当前 %2 行 × %3 列 = %4 个；请重设行列数。")
                   .arg(MAP_CELLS)
                   .arg(rows)
                   .arg(columns)
                   .arg(rows * columns));
        return;
    }
    std::array<int, MAX_CELLS> numbers = stationNumbers;
    for (int r = 0; r < stationList->rowCount(); ++r) {
        for (int c = 0; c < stationList->columnCount(); ++c) {
            const QTableWidgetItem* item = stationList->item(r, c);
            const long number = item != nullptr ? CellNumber(item->text()) : 0;
            // The board's map keeps 7 bits of a station and a flag for "no station": any other
            // number would silently name another station.
            if ((number < 0 || number > MAX_STATION) && number != NO_STATION) {
                Refuse(tr("第%1行第%2列的站号 %3 无效：站号应在 0 至 127 之间，无站的单元填 255。")
                           .arg(r + 1)
                           .arg(c + 1)
                           .arg(item != nullptr ? item->text() : QString()));
                stationList->setCurrentCell(r, c);
                return;
            }
            const int i = r * columns + c;
            if (i >= 0 && i < MAX_CELLS)
                numbers[static_cast<std::size_t>(i)] = static_cast<int>(number);
        }
    }
    stationNumbers = numbers;
    buzzerOn = buzzerOnBox_->isChecked();
    buzzerInverted = buzzerInvertedBox_->isChecked();
    QDialog::accept();
}
