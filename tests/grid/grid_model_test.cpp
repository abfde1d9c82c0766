#include "grid_fixture.h"
#include "page_table.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <functional>

namespace {

struct VerdictCase {
    const char* name;
    std::function<void(ColorBarCell&)> setup;
    CellVerdict expected;
};

TEST(GridVerdict, RulesTable)
{
    const VerdictCase cases[] = {
        {"value at upper limit", [](ColorBarCell& c) { c.value[3] = 1100; }, Pass},
        {"value at lower limit", [](ColorBarCell& c) { c.value[3] = 500; }, Pass},
        {"value above upper", [](ColorBarCell& c) { c.value[31] = 1101; }, Fail},
        {"value below lower", [](ColorBarCell& c) { c.value[0] = 499; }, Fail},
        {"excluded channels ignored",
            [](ColorBarCell& c) {
                c.channelState[4] = Hatched, c.value[4] = 60000;
                c.channelState[5] = Dark, c.value[5] = 0;
                c.channelState[6] = 7, c.value[6] = 1; // any nonzero state excludes
            },
            Pass},
        {"all excluded is Load even with failing similarity and values",
            [](ColorBarCell& c) {
                for (auto& s : c.channelState)
                    s = Hatched;
                c.value[0] = 9999;
                c.similarityOn = true, c.similarityThreshold = 0.9, c.similarity = 0;
            },
            Load},
        {"similarity equal to threshold passes",
            [](ColorBarCell& c) { c.similarityOn = true, c.similarityThreshold = 0.5, c.similarity = 0.5; }, Pass},
        {"similarity below threshold fails",
            [](ColorBarCell& c) { c.similarityOn = true, c.similarityThreshold = 0.5, c.similarity = 0.4999; }, Fail},
        {"similarity switched off is ignored",
            [](ColorBarCell& c) { c.similarityOn = false, c.similarityThreshold = 0.9, c.similarity = -1; }, Pass},
    };
    for (const auto& tc : cases) {
        ColorBarCell cell = toCell(CellData::passing());
        tc.setup(cell);
        EXPECT_EQ(JudgeCell(cell), tc.expected) << tc.name;
    }
}

TEST(GridVerdict, FailCountCountsOnlyFailingCellsInsideTheGrid)
{
    CColorBar bar;
    bar.SetColumns(3);
    bar.SetRows(1);
    CellData fail = CellData::passing();
    fail.value[9] = 2000;
    CellData load = CellData::passing();
    load.state.fill(Dark);
    feed(bar, 0, 0, fail);
    feed(bar, 1, 0, load);
    feed(bar, 2, 0, CellData::passing());
    feed(bar, 0, 1, fail); // outside the grid
    QImage image(300, 200, QImage::Format_RGB32);
    bar.PaintTo(image);
    EXPECT_EQ(bar.GetFailCount(), 1);
    EXPECT_EQ(bar.GetVerdict(1, 0), Load);

    feed(bar, 0, 0, CellData::passing());
    bar.PaintTo(image);
    EXPECT_EQ(bar.GetFailCount(), 0) << "Load and Pass cells count nothing";

    feed(bar, 0, 0, fail);
    bar.SetShowVerdict(false);
    bar.PaintTo(image);
    EXPECT_EQ(bar.GetFailCount(), 0) << "no verdicts without the verdict row: the count keeps its value";

    bar.SetShowVerdict(true);
    for (const auto& [columns, rows] : {std::pair{0, 1}, std::pair{3, 0}}) {
        bar.SetColumns(columns);
        bar.SetRows(rows);
        bar.PaintTo(image);
        EXPECT_EQ(bar.GetFailCount(), 0) << columns << " x " << rows;
        EXPECT_EQ(bar.GetTestedChannels(), 0);
    }
}

TEST(GridSimilarity, Pearson)
{
    CellData d = CellData::passing();
    for (int k = 0; k < GRID_CHANNELS; ++k) {
        d.value[std::size_t(k)] = std::uint16_t(600 + 13 * k);
        d.reference[std::size_t(k)] = std::uint16_t(600 + 13 * k);
    }
    EXPECT_NEAR(ComputeSimilarity(toCell(d)), 1.0, 1e-6) << "identical series";

    for (int k = 0; k < GRID_CHANNELS; ++k)
        d.reference[std::size_t(k)] = std::uint16_t(1200 - 11 * k);
    EXPECT_LT(ComputeSimilarity(toCell(d)), -0.99) << "opposite trends";

    d.reference.fill(0);
    EXPECT_EQ(ComputeSimilarity(toCell(d)), 0.0) << "all-zero reference";

    // Excluded channels count as (0, 0): excluding half of an identical pair keeps it perfect.
    d.reference = d.value;
    for (int k = 0; k < 16; ++k)
        d.state[std::size_t(k)] = Hatched;
    EXPECT_NEAR(ComputeSimilarity(toCell(d)), 1.0, 1e-6);
}

TEST(GridSimilarity, FlatSeriesOfLargeValuesGivesZeroNotARoundingResidue)
{
    // Single-precision sums of 32 large squares do not cancel exactly. Against references of
    // little spread the residue gives NaN (which passes every comparison) or, for 2195, 1.06.
    // A flat series must give 0 and so fail any positive threshold.
    CellData d = CellData::passing();
    for (int k = 0; k < GRID_CHANNELS; ++k)
        d.reference[std::size_t(k)] = std::uint16_t(700 + k % 2);
    for (const int flat : {1233, 2195, 4095, 65535}) {
        d.value.fill(std::uint16_t(flat));
        ColorBarCell cell = toCell(d);
        EXPECT_EQ(ComputeSimilarity(cell), 0.0) << flat;
        cell.similarityOn = true;
        cell.similarityThreshold = 0.5;
        cell.similarity = ComputeSimilarity(cell);
        EXPECT_EQ(JudgeCell(cell), Fail) << flat;
    }
    // Nearly flat: the spread of 1001 and one 1002 comes out negative; no NaN either.
    d.value.fill(1001);
    d.value[5] = 1002;
    ColorBarCell cell = toCell(d);
    cell.similarityOn = true;
    cell.similarityThreshold = 0.5;
    cell.similarity = ComputeSimilarity(cell);
    EXPECT_EQ(cell.similarity, 0.0);
    EXPECT_EQ(JudgeCell(cell), Fail);
}

TEST(PageTable, DefaultsReachTheGridThroughThePackedRecords)
{
    pageTable[5].measured[32] = 77;
    pageTable[63].thresholdHigh[31] = 1;
    InitPageTableDefaults();
    // Fields of the packed record are read by value: EXPECT_EQ binds references, which would
    // point to odd addresses.
    EXPECT_EQ(int(pageTable[5].measured[32]), 77) << "entry 32 is left alone";
    const PageRecord& p = pageTable[63];
    EXPECT_EQ(int(p.thresholdHigh[31]), 1100);
    EXPECT_EQ(int(p.thresholdLow[0]), 500);
    EXPECT_EQ(int(p.mask[17]), 1);
    EXPECT_EQ(int(p.refData[9]), 700);
    EXPECT_EQ(int(p.measured[4]), 0);
    EXPECT_EQ(int(p.dataMax), 1500);
    EXPECT_EQ(int(p.dataMin), 10);
    EXPECT_EQ(int(p.offsetType), 1);
    EXPECT_EQ(float(p.percentage), 10.0f);
    EXPECT_EQ(int(p.offsetUpper), 100);
    EXPECT_EQ(int(p.offsetLower), 100);

    // The arrays of a packed record sit on odd addresses; the setters must copy them bytewise
    // (the UBSan build checks the alignment).
    CColorBar bar;
    bar.SetColumns(1);
    bar.SetRows(1);
    {
        std::lock_guard lock(pageTableLock());
        const PageRecord& page = pageTable[1];
        bar.SetValues(0, 0, page.measured);
        bar.SetReference(0, 0, page.refData);
        bar.SetUpperLimits(0, 0, page.thresholdHigh);
        bar.SetLowerLimits(0, 0, page.thresholdLow);
        bar.SetChannelStates(0, 0, page.mask);
        bar.SetDataRange(0, 0, page.dataMax, page.dataMin);
    }
    QImage image(200, 150, QImage::Format_RGB32);
    bar.PaintTo(image);
    EXPECT_EQ(bar.GetVerdict(0, 0), Load) << "every channel starts switched off";
}

TEST(PageTable, PageOfCellStaysInsideTheTable)
{
    const struct {
        int column, row, columns, page;
    } cases[] = {
        {0, 0, 1, 0},
        {3, 2, 4, 11},
        {3, 6, 10, 63},
        {0, 7, 10, -1}, // page 70
        {9, 9, 10, -1},
        {4, 0, 4, -1},
        {-1, 0, 4, -1},
        {0, -1, 4, -1},
        {0, 10, 1, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PageOfCell(c.column, c.row, c.columns), c.page) << c.column << "," << c.row << " of " << c.columns;
}

} // namespace
