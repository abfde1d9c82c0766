// The baseline dialog on a page of the table, with its raw-data file in a scratch working folder.
#include "baseline_edit.h"
#include "cbaseline_dlg.h"
#include "message_boxes.h"
#include "page_table.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

constexpr int PAGE = 5;

struct BaselineDialog : ::testing::Test {
    QTemporaryDir dir;
    QString previousFolder = QDir::currentPath();
    std::unique_ptr<CBaseLineDlg> dlg;

    void SetUp() override
    {
        QDir::setCurrent(dir.path()); // the raw-data file lives relative to the working folder
        InitPageTableDefaults();
        selectedPage = PAGE;
        for (int k = 0; k < 32; ++k) {
            editRefData[k] = 0;
            editThresholdHigh[k] = 0;
            editThresholdLow[k] = 0;
            editMask[k] = 0;
        }
        open();
    }
    void TearDown() override { QDir::setCurrent(previousFolder); }

    void open() { dlg = std::make_unique<CBaseLineDlg>(false, 0.9); }
    static void measure(int base)
    {
        std::lock_guard lock(pageTableLock());
        for (int k = 0; k < 32; ++k)
            pageTable[PAGE].measured[k] = static_cast<std::uint16_t>(base + k);
    }
    QLineEdit* edit(int id) const { return qobject_cast<QLineEdit*>(dlg->Control(id)); }
    QCheckBox* check(int id) const { return qobject_cast<QCheckBox*>(dlg->Control(id)); }
    void click(int id) const { qobject_cast<QAbstractButton*>(dlg->Control(id))->click(); }
    QString cell(const QTableWidget* list, int row, int column) const
    {
        const QTableWidgetItem* item = list->item(row, column);
        return item != nullptr ? item->text() : QString();
    }
    bool checked(const QTableWidget* list, int row) const { return list->item(row, 0)->checkState() == Qt::Checked; }
    void setChecked(int row, bool on) const
    {
        dlg->readingsList->item(row, 0)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    // Rows whose every channel reads `value`, taken with "Read".
    void readFlat(std::initializer_list<int> values) const
    {
        for (int v : values) {
            {
                std::lock_guard lock(pageTableLock());
                for (int k = 0; k < 32; ++k)
                    pageTable[PAGE].measured[k] = static_cast<std::uint16_t>(v);
            }
            dlg->OnRead();
        }
    }
    static std::string fileText(const char* path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

std::string Line(int item, int checked, int base)
{
    std::string line = "Item=" + std::to_string(item) + ",Checked=" + std::to_string(checked) + ",";
    for (int k = 0; k < 32; ++k)
        line += std::to_string(base + k) + ",";
    return line + "\r\n";
}

TEST_F(BaselineDialog, ReadingsGoToTheFileAndComeBackWithTheirCheckMarks)
{
    for (int base : {100, 200, 300}) {
        measure(base);
        dlg->OnRead();
    }
    ASSERT_EQ(dlg->readingsList->rowCount(), 3);
    EXPECT_EQ(cell(dlg->readingsList, 0, 0), "2");
    EXPECT_EQ(cell(dlg->readingsList, 1, 0), "1");
    EXPECT_EQ(cell(dlg->readingsList, 2, 0), "0");
    EXPECT_EQ(cell(dlg->readingsList, 2, 32), "131");
    setChecked(1, false);

    EXPECT_TRUE(messagesDuring([&] { dlg->OnSave(); }).isEmpty());
    EXPECT_EQ(fileText("rawdata/rawdata.csv"), Line(0, 1, 100) + Line(1, 0, 200) + Line(2, 1, 300));

    open(); // a new dialog starts empty; only the file keeps readings
    EXPECT_EQ(dlg->readingsList->rowCount(), 0);
    EXPECT_EQ(messagesDuring([&] { dlg->OnLoad(); }, QMessageBox::Cancel), QStringList{QString::fromUtf8("真正需要重新载入？")});
    EXPECT_EQ(dlg->readingsList->rowCount(), 0);
    messagesDuring([&] { dlg->OnLoad(); }, QMessageBox::Ok);
    ASSERT_EQ(dlg->readingsList->rowCount(), 3);
    EXPECT_EQ(dlg->readingCount, 3);
    const bool marks[] = {true, false, true};
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(cell(dlg->readingsList, row, 0), QString::number(2 - row));
        EXPECT_EQ(checked(dlg->readingsList, row), marks[row]) << "row " << row;
        EXPECT_EQ(cell(dlg->readingsList, row, 1), QString::number(300 - 100 * row));
    }
    // Saved again, the loaded readings give the same bytes.
    dlg->OnSave();
    EXPECT_EQ(fileText("rawdata/rawdata.csv"), Line(0, 1, 100) + Line(1, 0, 200) + Line(2, 1, 300));
}

TEST_F(BaselineDialog, AMissingFileEmptiesTheListAndTheStore)
{
    readFlat({500, 600});
    const QStringList shown = messagesDuring([&] { dlg->OnLoad(); }, QMessageBox::Ok);
    EXPECT_EQ(shown, (QStringList{QString::fromUtf8("真正需要重新载入？"), QString::fromUtf8("文件不存在")}));
    EXPECT_EQ(dlg->readingsList->rowCount(), 0);
    EXPECT_EQ(dlg->readingCount, 0);
    dlg->OnSave(); // nothing shown, nothing written from readings no row holds
    EXPECT_EQ(fileText("rawdata/rawdata.csv"), "");
}

TEST_F(BaselineDialog, ReadingsBeyond255AreKept)
{
    for (int n = 0; n < 300; ++n)
        dlg->OnRead();
    EXPECT_EQ(dlg->readingsList->rowCount(), 300);
    EXPECT_EQ(cell(dlg->readingsList, 0, 0), "299");
    dlg->OnSave();
    const std::string text = fileText("rawdata/rawdata.csv");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 300);
    EXPECT_NE(text.find("Item=299,Checked=1,"), std::string::npos);
}

TEST_F(BaselineDialog, AFailedSaveNamesTheFileAndTheReason)
{
    std::ofstream("rawdata") << "a file where the folder should be";
    readFlat({100});
    const QStringList shown = messagesDuring([&] { dlg->OnSave(); });
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].contains("rawdata/rawdata.csv")) << shown[0].toStdString();
    EXPECT_EQ(fileText("rawdata"), "a file where the folder should be");
}

TEST_F(BaselineDialog, AverangeOfTheCheckedRowsBecomesTheReference)
{
    readFlat({1000, 1003, 1005});
    EXPECT_TRUE(messagesDuring([&] { dlg->OnAverage(); }).isEmpty());
    EXPECT_EQ(cell(dlg->averageList, 0, 0), "AVG");
    EXPECT_TRUE(checked(dlg->averageList, 0));
    EXPECT_EQ(cell(dlg->averageList, 0, 17), "1002");
    EXPECT_EQ(editRefData[16], 1002);
    EXPECT_TRUE(dlg->averaged);

    setChecked(0, false); // the newest row: 1005
    dlg->OnAverage();
    EXPECT_EQ(cell(dlg->averageList, 0, 1), "1001");
    EXPECT_EQ(editRefData[31], 1001);

    // Nothing checked: one message, and the reference stays.
    setChecked(1, false);
    setChecked(2, false);
    EXPECT_EQ(messagesDuring([&] { dlg->OnAverage(); }), QStringList{"ERR"});
    EXPECT_EQ(editRefData[0], 1001);
    EXPECT_EQ(cell(dlg->averageList, 0, 1), "1001");
}

TEST_F(BaselineDialog, SetDerivesTheLimitsFromTheReference)
{
    struct Case {
        bool byPercentage;
        const char* percentage;
        const char* upper;
        const char* lower;
        std::uint16_t reference;
        std::uint16_t expectedHigh;
        std::uint16_t expectedLow;
    };
    const Case cases[] = {
        {true, "10", "0", "0", 1000, 1100, 900},
        {true, "10", "0", "0", 7, 7, 7}, // 0.7 truncates to 0
        {false, "10", "100", "100", 50, 150, static_cast<std::uint16_t>(50 - 100)},
    };
    for (const Case& c : cases) {
        for (auto& r : editRefData)
            r = c.reference;
        click(c.byPercentage ? CBaseLineDlg::IDC_BY_PERCENTAGE : CBaseLineDlg::IDC_BY_VALUE);
        edit(CBaseLineDlg::IDC_PERCENTAGE)->setText(c.percentage);
        edit(CBaseLineDlg::IDC_UPPER_OFFSET)->setText(c.upper);
        edit(CBaseLineDlg::IDC_LOWER_OFFSET)->setText(c.lower);
        EXPECT_TRUE(messagesDuring([&] { click(CBaseLineDlg::IDC_SET); }).isEmpty());
        EXPECT_EQ(editThresholdHigh[9], c.expectedHigh) << c.reference;
        EXPECT_EQ(editThresholdLow[9], c.expectedLow) << c.reference;
        EXPECT_NE(check(CBaseLineDlg::IDC_BY_PERCENTAGE)->isChecked(), check(CBaseLineDlg::IDC_BY_VALUE)->isChecked());
    }
}

TEST_F(BaselineDialog, RefusedFieldsStopTheExchangeAtTheirControl)
{
    struct Case {
        int control;
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {CBaseLineDlg::IDC_RANGE_MIN, "12abc", "请输入一个整数。"},
        {CBaseLineDlg::IDC_RANGE_MIN, "70000", "请输入一个 0 至 65535 之间的整数。"},
        {CBaseLineDlg::IDC_PERCENTAGE, "ten", "请输入一个数字。"},
        {CBaseLineDlg::IDC_LOWER_OFFSET, "", "请输入一个整数。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        open();
        edit(CBaseLineDlg::IDC_RANGE_MAX)->setText("3000");
        edit(CBaseLineDlg::IDC_UPPER_OFFSET)->setText("77");
        const std::int32_t olderUpper = dlg->upperOffset;
        edit(c.control)->setText(c.text);

        // OK shows the message, puts the focus on the control and keeps the dialog open.
        EXPECT_EQ(messagesDuring([&] { click(CBaseLineDlg::IDC_OK); }), QStringList{QString::fromUtf8(c.message)});
        EXPECT_EQ(dlg->result(), 0);
        EXPECT_EQ(dlg->focusWidget(), edit(c.control));

        // "设定" exchanges twice, so the message comes twice; it goes on with what was taken.
        EXPECT_EQ(messagesDuring([&] { dlg->OnSet(); }).size(), 2);
        const bool rangeMaxTaken = c.control != CBaseLineDlg::IDC_RANGE_MIN;
        EXPECT_EQ(dlg->rangeMax == 3000, rangeMaxTaken);
        const bool upperTaken = c.control == CBaseLineDlg::IDC_LOWER_OFFSET;
        EXPECT_EQ(dlg->upperOffset, upperTaken ? 77 : olderUpper);
    }
}

TEST_F(BaselineDialog, SwitchingChannelsChangesThePageAtOnceAndOkTakesThePreviewStates)
{
    dlg->OnAllOff();
    dlg->reject();
    {
        std::lock_guard lock(pageTableLock());
        for (int k = 0; k < 32; ++k)
            ASSERT_EQ(pageTable[PAGE].mask[k], 1) << "channel " << k;
    }
    open();
    dlg->OnAllOn();
    dlg->preview.SetChannelState(0, 0, 4, 2); // as a double-click on the preview would
    click(CBaseLineDlg::IDC_OK);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(editMask[4], 2);
    EXPECT_EQ(editMask[5], 0);
}

TEST_F(BaselineDialog, StatisticsFollowTheCheckedReadingsAndTheLimits)
{
    auto stat = [&](int row, int channel) { return cell(dlg->statisticsList, row, channel + 1); };
    const QString none = QString::fromUtf8("—");
    EXPECT_EQ(stat(CBaseLineDlg::STAT_MEAN, 0), none);

    for (int k = 0; k < 32; ++k) {
        editThresholdHigh[k] = 1100;
        editThresholdLow[k] = 900;
    }
    readFlat({1000});
    EXPECT_EQ(stat(CBaseLineDlg::STAT_MEAN, 3), "1000.0");
    EXPECT_EQ(stat(CBaseLineDlg::STAT_SIGMA, 3), none) << "one reading has no spread";
    EXPECT_EQ(stat(CBaseLineDlg::STAT_CPK, 3), none);

    readFlat({1000});
    EXPECT_EQ(stat(CBaseLineDlg::STAT_SIGMA, 3), "0.00");
    EXPECT_EQ(stat(CBaseLineDlg::STAT_CPK, 3), none) << "no spread, no capability figure";

    readFlat({1010, 1020}); // with the two 1000s: mean 1007.5, sigma 9.57
    EXPECT_EQ(stat(CBaseLineDlg::STAT_MIN, 0), "1000");
    EXPECT_EQ(stat(CBaseLineDlg::STAT_MAX, 0), "1020");
    EXPECT_EQ(stat(CBaseLineDlg::STAT_MEAN, 0), "1007.5");
    EXPECT_EQ(stat(CBaseLineDlg::STAT_SIGMA, 0), "9.57");
    EXPECT_EQ(stat(CBaseLineDlg::STAT_CPK, 0), "3.2"); // (1100 - 1007.5) / 28.72
    EXPECT_EQ(dlg->statisticsList->item(CBaseLineDlg::STAT_CPK, 1)->background().style(), Qt::NoBrush);

    // Tighter limits from "设定" leave too little room: marked.
    for (auto& r : editRefData)
        r = 1010;
    click(CBaseLineDlg::IDC_BY_VALUE);
    edit(CBaseLineDlg::IDC_UPPER_OFFSET)->setText("20");
    edit(CBaseLineDlg::IDC_LOWER_OFFSET)->setText("20");
    dlg->OnSet();
    EXPECT_EQ(stat(CBaseLineDlg::STAT_CPK, 0), "0.6"); // (1007.5 - 990) / 28.72
    EXPECT_EQ(dlg->statisticsList->item(CBaseLineDlg::STAT_CPK, 1)->background().color(), QColor(255, 160, 160));

    // Unchecking the two newest rows leaves the two 1000s.
    setChecked(0, false);
    setChecked(1, false);
    EXPECT_EQ(stat(CBaseLineDlg::STAT_MAX, 0), "1000");
    EXPECT_EQ(stat(CBaseLineDlg::STAT_CPK, 0), none);
}

TEST_F(BaselineDialog, AReadingOfAnEmptyPositionIsAddedUncheckedInOrange)
{
    for (int k = 0; k < 32; ++k) {
        editThresholdHigh[k] = 1100;
        editThresholdLow[k] = 400; // empty below 100
    }
    const QColor orange(255, 200, 120);
    struct Case {
        const char* what;
        int value;           // every channel
        int channel7;        // channel 7 alone
        std::uint8_t state7; // channel 7's state in the preview
        bool allOff;
        bool empty;
    };
    const Case cases[] = {
        {"a sensor", 1000, 1000, Active, false, false},
        {"nothing on the position", 50, 50, Active, false, true},
        {"one channel still reads", 50, 100, Active, false, false},
        {"that channel switched off", 50, 100, Hatched, false, true},
        {"no channel tested", 50, 50, Hatched, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        open();
        if (c.allOff)
            dlg->OnAllOff();
        else
            dlg->OnAllOn();
        dlg->preview.SetChannelState(0, 0, 7, c.state7);
        {
            std::lock_guard lock(pageTableLock());
            for (int k = 0; k < 32; ++k)
                pageTable[PAGE].measured[k] = static_cast<std::uint16_t>(k == 7 ? c.channel7 : c.value);
        }
        dlg->OnRead();
        ASSERT_EQ(dlg->readingsList->rowCount(), 1);
        EXPECT_EQ(checked(dlg->readingsList, 0), !c.empty);
        for (int column : {0, 1, 32}) {
            const QBrush background = dlg->readingsList->item(0, column)->background();
            if (c.empty)
                EXPECT_EQ(background.color(), orange) << "column " << column;
            else
                EXPECT_EQ(background.style(), Qt::NoBrush) << "column " << column;
        }
    }
}

TEST_F(BaselineDialog, AnEmptyReadingLeavesTheStatisticsAloneUntilChecked)
{
    auto mean = [&] { return cell(dlg->statisticsList, CBaseLineDlg::STAT_MEAN, 1); };
    for (int k = 0; k < 32; ++k) {
        editThresholdHigh[k] = 1100;
        editThresholdLow[k] = 900;
    }
    dlg->OnAllOn();
    readFlat({1000, 1020, 0});
    EXPECT_FALSE(checked(dlg->readingsList, 0));
    EXPECT_EQ(mean(), "1010.0");
    EXPECT_EQ(cell(dlg->statisticsList, CBaseLineDlg::STAT_MIN, 1), "1000");

    setChecked(0, true); // the operator takes it after all
    EXPECT_EQ(mean(), "673.3");
    EXPECT_EQ(cell(dlg->statisticsList, CBaseLineDlg::STAT_MIN, 1), "0");
}

} // namespace
