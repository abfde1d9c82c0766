// The baseline dialog's controls, laid out in dialog units, and its opening.
#include "cbaseline_dlg.h"

#include "baseline_edit.h"
#include "dialog_exchange.h"
#include "dialog_units.h"
#include "page_table.h"
#include "dialog_fit.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include <cstring>

namespace {
constexpr int LIST_COLUMNS = 33;
constexpr int COLUMN_WIDTH = 50; // pixels
} // namespace

CBaseLineDlg::CBaseLineDlg(bool similarityOn, double similarityThreshold, QWidget* parent)
    : QDialog(parent), initialSimilarityOn(similarityOn), initialSimilarityThreshold(similarityThreshold)
{
    setWindowTitle(QStringLiteral("Dialog"));
    setFont(DialogFont());
    BuildControls();
    OnInitDialog();
}

CBaseLineDlg::~CBaseLineDlg() = default;

void CBaseLineDlg::BuildControls()
{
    // The statistics list sits below the original layout, which ends at y = 357.
    setFixedSize(DialogUnitsToPixels(QRect(0, 0, 442, 464)).size());

    auto button = [this](int id, const char* text, const QRect& units) {
        auto* b = PlaceControl(new QPushButton(tr(text), this), id, units);
        b->setAutoDefault(false);
        return b;
    };
    auto checkBox = [this](int id, const char* text, const QRect& units) {
        return PlaceControl(new QCheckBox(tr(text), this), id, units);
    };
    auto lineEdit = [this](int id, const QRect& units) { return PlaceControl(new QLineEdit(this), id, units); };
    auto label = [this](const char* text, const QRect& units) { PlaceControl(new QLabel(tr(text), this), 0, units); };

    readingsList = PlaceControl(new QTableWidget(this), IDC_READINGS, QRect(5, 5, 430, 70));
    readingsList->setObjectName(QStringLiteral("List1"));
    connect(button(IDC_READ, QT_TR_NOOP("Read"), QRect(5, 80, 50, 14)), &QPushButton::clicked, this, [this] { OnRead(); });
    connect(button(IDC_LOAD, QT_TR_NOOP("Load"), QRect(330, 80, 50, 14)), &QPushButton::clicked, this, [this] { OnLoad(); });
    connect(button(IDC_SAVE, QT_TR_NOOP("Save"), QRect(385, 80, 50, 14)), &QPushButton::clicked, this, [this] { OnSave(); });
    averageList = PlaceControl(new QTableWidget(this), IDC_AVERAGE_LIST, QRect(5, 100, 430, 45));
    averageList->setObjectName(QStringLiteral("List2"));
    connect(button(IDC_AVERAGE, QT_TR_NOOP("Averange"), QRect(5, 150, 50, 14)), &QPushButton::clicked, this,
            [this] { OnAverage(); });

    auto* group = TitleOnFrame(PlaceControl(new QGroupBox(tr("设置"), this), 0, QRect(5, 170, 430, 76)));
    group->lower();
    connect(checkBox(IDC_BY_PERCENTAGE, QT_TR_NOOP("按照差异百分比设置上下限"), QRect(15, 190, 112, 10)), &QCheckBox::clicked, this,
            [this] { OnByPercentage(); });
    lineEdit(IDC_PERCENTAGE, QRect(135, 185, 40, 14));
    connect(checkBox(IDC_BY_VALUE, QT_TR_NOOP("按照数值设置上下限"), QRect(15, 210, 88, 10)), &QCheckBox::clicked, this,
            [this] { OnByValue(); });
    label(QT_TR_NOOP("数值上限=中心值+"), QRect(108, 209, 65, 8));
    lineEdit(IDC_UPPER_OFFSET, QRect(183, 204, 40, 14));
    label(QT_TR_NOOP("数值下限=中心值-"), QRect(108, 224, 65, 8));
    lineEdit(IDC_LOWER_OFFSET, QRect(183, 219, 40, 14));
    label(QT_TR_NOOP("坐标值下限"), QRect(234, 185, 41, 8));
    lineEdit(IDC_RANGE_MIN, QRect(284, 180, 40, 14));
    label(QT_TR_NOOP("坐标值上限"), QRect(336, 185, 41, 8));
    lineEdit(IDC_RANGE_MAX, QRect(386, 180, 40, 14));
    connect(checkBox(IDC_SIMILARITY_ON, QT_TR_NOOP("相似度开关"), QRect(234, 204, 56, 10)), &QCheckBox::clicked, this,
            [this] { OnSimilaritySwitch(); });
    lineEdit(IDC_SIMILARITY_THRESHOLD, QRect(289, 200, 40, 14));
    auto* set = PlaceControl(new QPushButton(tr("设定"), this), IDC_SET, QRect(270, 222, 155, 20));
    set->setDefault(true);
    connect(set, &QPushButton::clicked, this, [this] { OnSet(); });

    auto* placeholder = PlaceControl(new QFrame(this), IDC_PREVIEW, QRect(6, 252, 375, 105));
    placeholder->setFrameStyle(QFrame::Box | QFrame::Sunken);
    connect(button(IDC_ALL_ON, QT_TR_NOOP("全部打开"), QRect(386, 252, 50, 14)), &QPushButton::clicked, this, [this] { OnAllOn(); });
    connect(button(IDC_ALL_OFF, QT_TR_NOOP("全部关闭"), QRect(386, 267, 50, 14)), &QPushButton::clicked, this,
            [this] { OnAllOff(); });
    connect(button(IDC_OK, QT_TR_NOOP("OK"), QRect(386, 322, 50, 14)), &QPushButton::clicked, this, [this] { OnOK(); });
    connect(button(IDC_CANCEL, QT_TR_NOOP("Cancel"), QRect(386, 342, 50, 14)), &QPushButton::clicked, this, [this] { reject(); });

    statisticsList = PlaceControl(new QTableWidget(this), IDC_STATISTICS, QRect(5, 362, 430, 98));
    statisticsList->setObjectName(QStringLiteral("List3"));
    statisticsList->setToolTip(tr("已勾选读数的统计；Cpk 低于 1.33 的通道标红"));
    FitTextLines(this);
}

void CBaseLineDlg::SetUpList(QTableWidget* list, bool checkBoxes)
{
    list->setColumnCount(LIST_COLUMNS);
    QStringList headers{QStringLiteral("No.")};
    for (int c = 0; c < 32; ++c)
        headers << QString::number(c);
    list->setHorizontalHeaderLabels(headers);
    for (int c = 0; c < LIST_COLUMNS; ++c)
        list->setColumnWidth(c, COLUMN_WIDTH);
    list->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list->horizontalHeader()->setHighlightSections(false);
    list->verticalHeader()->setVisible(false);
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 4);
    list->setShowGrid(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setProperty("checkBoxes", checkBoxes);
}

void CBaseLineDlg::OnInitDialog()
{
    preview.AttachToDialogItem(IDC_PREVIEW, this);
    preview.SetRefreshTimer(1, true);
    preview.SetColumns(1);
    preview.SetRows(1);
    preview.SetShowVerdict(false);
    connect(&preview, &CColorBar::clicked, this, [] {}); // a click on the preview means nothing here

    PageRecord page{};
    if (selectedPage >= 0 && selectedPage < PAGE_COUNT) {
        std::lock_guard lock(pageTableLock());
        std::memcpy(&page, &pageTable[selectedPage], sizeof page);
    }
    rangeMax = page.dataMax;
    rangeMin = page.dataMin;
    byPercentage = page.offsetType != 0;
    byValue = page.offsetType == 0;
    percentage = page.percentage;
    upperOffset = page.offsetUpper;
    lowerOffset = page.offsetLower;

    // The preview shows this snapshot; later measurements do not reach it.
    preview.SetDataRange(0, 0, rangeMax, rangeMin);
    preview.SetValues(0, 0, page.measured);
    preview.SetReference(0, 0, page.refData);
    preview.SetChannelStates(0, 0, page.mask);
    preview.SetUpperLimits(0, 0, page.thresholdHigh);
    preview.SetLowerLimits(0, 0, page.thresholdLow);

    UpdateData(false);

    SetUpList(readingsList, true);
    SetUpList(averageList, true);
    averageList->setRowCount(1);
    auto* avg = new QTableWidgetItem(QStringLiteral("AVG"));
    avg->setFlags(avg->flags() | Qt::ItemIsUserCheckable);
    avg->setCheckState(Qt::Unchecked);
    averageList->setItem(0, 0, avg);
    connect(readingsList, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!filling_ && item->column() == 0)
            UpdateStatistics();
    });

    SetUpList(statisticsList, false);
    statisticsList->setRowCount(STAT_ROWS);
    const char* names[STAT_ROWS] = {"MIN", "MAX", "MEAN", "SIGMA", "CPK"};
    for (int r = 0; r < STAT_ROWS; ++r)
        statisticsList->setItem(r, 0, new QTableWidgetItem(QString::fromLatin1(names[r])));
    UpdateStatistics();

    preview.SetSimilarityThreshold(0, 0, initialSimilarityThreshold);
    preview.SetSimilarityOn(0, 0, initialSimilarityOn);
    edit(IDC_SIMILARITY_THRESHOLD)->setText(QString::asprintf("%g", initialSimilarityThreshold * 100));
    check(IDC_SIMILARITY_ON)->setChecked(initialSimilarityOn);

    averaged = false;
}

QWidget* CBaseLineDlg::Control(int id) const
{
    if (id == IDC_PREVIEW)
        return const_cast<CColorBar*>(&preview);
    return FindControl(this, id);
}

QLineEdit* CBaseLineDlg::edit(int id) const
{
    return qobject_cast<QLineEdit*>(Control(id));
}

QCheckBox* CBaseLineDlg::check(int id) const
{
    return qobject_cast<QCheckBox*>(Control(id));
}
