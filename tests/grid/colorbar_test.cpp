#include "grid_fixture.h"
#include "page_table.h"
#include "wait_until.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFrame>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTimer>

#include <atomic>
#include <numeric>
#include <thread>

namespace {

int markedCount(const CColorBar& bar, int column, int row)
{
    std::uint8_t marks[GRID_CHANNELS];
    bar.GetHitMarks(column, row, marks);
    return std::accumulate(std::begin(marks), std::end(marks), 0);
}

class HitMarks : public ::testing::Test {
protected:
    void SetUp() override
    {
        bar.SetColumns(2);
        bar.SetRows(1);
        feed(bar, 0, 0, CellData::passing());
        feed(bar, 1, 0, CellData::passing());
    }
    void paint() { bar.PaintTo(image); }
    static CellData allAbove()
    {
        CellData d = CellData::passing();
        d.value.fill(1200);
        return d;
    }

    CColorBar bar;
    QImage image{320, 240, QImage::Format_RGB32};
};

TEST_F(HitMarks, ClearOnlyInTheFirstPaintAfterEveryChannelWasAboveAndAllPass)
{
    paint();
    EXPECT_EQ(bar.GetTestedChannels(), 64);
    EXPECT_EQ(bar.GetUnmarkedChannels(), 64);

    feed(bar, 0, 0, allAbove());
    paint();
    EXPECT_EQ(markedCount(bar, 0, 0), 32);

    // Every channel but one of cell 1 above, then all back: 63 marks stay.
    CellData almost = allAbove();
    almost.value[20] = 700;
    feed(bar, 0, 0, CellData::passing());
    feed(bar, 1, 0, almost);
    paint();
    feed(bar, 1, 0, CellData::passing());
    paint();
    EXPECT_EQ(bar.GetMarkedChannels(), 63);
    EXPECT_EQ(bar.GetFailCount(), 0);

    // The last channel goes above: all 64 marked, but cell 1 fails, so nothing clears.
    CellData last = CellData::passing();
    last.value[20] = 1101;
    feed(bar, 1, 0, last);
    paint();
    EXPECT_EQ(bar.GetUnmarkedChannels(), 0);
    EXPECT_EQ(bar.GetFailCount(), 1);
    EXPECT_EQ(markedCount(bar, 1, 0), 32);

    feed(bar, 1, 0, CellData::passing());
    paint();
    EXPECT_EQ(bar.GetMarkedChannels(), 64) << "counted before clearing";
    EXPECT_EQ(markedCount(bar, 0, 0) + markedCount(bar, 1, 0), 0) << "cleared in this paint";
}

TEST_F(HitMarks, MaskedMarkedChannelBlocksClearingUntilClearHitMarks)
{
    CellData above = allAbove();
    above.value[0] = 1101;
    feed(bar, 0, 0, above);
    feed(bar, 1, 0, above);
    paint();
    ASSERT_EQ(bar.GetMarkedChannels(), 64);

    CellData masked = CellData::passing();
    masked.state[0] = Hatched;
    feed(bar, 0, 0, masked);
    feed(bar, 1, 0, CellData::passing());
    for (int i = 0; i < 2; ++i) {
        paint();
        EXPECT_EQ(bar.GetFailCount(), 0);
        EXPECT_EQ(bar.GetUnmarkedChannels(), -1);
        EXPECT_EQ(bar.GetMarkedChannels(), 64);
    }
    bar.ClearHitMarks();
    paint();
    EXPECT_EQ(bar.GetMarkedChannels(), 0);
}

TEST_F(HitMarks, NeverClearedWithAnEmptyGrid)
{
    feed(bar, 0, 0, allAbove());
    paint();
    bar.SetColumns(0);
    paint();
    bar.SetColumns(2);
    feed(bar, 0, 0, CellData::passing());
    EXPECT_EQ(markedCount(bar, 0, 0), 32);
}

void sendMouse(CColorBar& bar, QEvent::Type type, int x, int y)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(x, y), bar.mapToGlobal(QPointF(x, y)), button,
        type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&bar, &event);
}

TEST(GridInteraction, HoverHitTestWithStrictBoundsAndGaps)
{
    CColorBar bar; // W = 400, cw = 200, chw = 6.25
    bar.resize(401, 300);
    bar.SetColumns(2);
    bar.SetRows(1);
    QImage image(401, 300, QImage::Format_RGB32);
    const struct {
        int x, y, column, row, channel;
    } steps[] = {
        {247, 10, 1, 0, 7}, // channel 7 lies strictly between 245 and 249
        {250, 10, 1, 0, 7}, // gap between 7 (up to 249) and 8 (from 252): 7 stays
        {249, 10, 1, 0, 7}, // the bound itself is outside
        {252, 290, 1, 0, 7},
        {253, 290, 1, 0, 8},
        {2, 10, 0, 0, 8}, // left of channel 0's frame (2 < x < 5): a gap
        {3, 10, 0, 0, 0},
        {5, 10, 0, 0, 0},    // between channel 0 and channel 1 (from 8)
        {400, 299, 1, 0, 0}, // last pixel: kept inside the grid, on no frame
        {-30, -5, 0, 0, 0},
    };
    for (const auto& s : steps) {
        sendMouse(bar, QEvent::MouseMove, s.x, s.y);
        bar.PaintTo(image);
        EXPECT_EQ(bar.GetHoverColumn(), s.column) << s.x;
        EXPECT_EQ(bar.GetHoverRow(), s.row) << s.x;
        EXPECT_EQ(bar.GetHoverChannel(), s.channel) << s.x;
    }
}

TEST(GridInteraction, DoubleClickCyclesTheChannelUnderThePointerAndOnlyPressesClick)
{
    CColorBar bar;
    bar.resize(401, 300);
    bar.SetColumns(2);
    bar.SetRows(1);
    feed(bar, 1, 0, CellData::passing());
    QImage image(401, 300, QImage::Format_RGB32);
    QSignalSpy clicks(&bar, &CColorBar::clicked);

    sendMouse(bar, QEvent::MouseMove, 247, 100);
    bar.PaintTo(image);
    for (const std::uint8_t expected : {Hatched, Dark, Active}) {
        sendMouse(bar, QEvent::MouseButtonPress, 247, 100);
        sendMouse(bar, QEvent::MouseButtonRelease, 247, 100);
        sendMouse(bar, QEvent::MouseButtonDblClick, 247, 100);
        sendMouse(bar, QEvent::MouseButtonRelease, 247, 100);
        EXPECT_EQ(bar.GetChannelState(1, 0, 7), expected);
        bar.PaintTo(image);
    }
    EXPECT_EQ(bar.GetChannelState(1, 0, 6), Active);
    EXPECT_EQ(clicks.count(), 3) << "one click per double-click";

    bar.SetChannelState(1, 0, 7, 9);
    sendMouse(bar, QEvent::MouseButtonDblClick, 247, 100);
    EXPECT_EQ(bar.GetChannelState(1, 0, 7), 9) << "unknown states stay";
}

TEST(GridInteraction, AttachTakesOverThePlaceholderAndClicksCarryItsId)
{
    QWidget dialog;
    dialog.resize(640, 480);
    auto* placeholder = new QFrame(&dialog);
    placeholder->setProperty("controlId", 1000);
    placeholder->setObjectName("gridPlaceholder");
    placeholder->setGeometry(10, 60, 600, 395);

    CColorBar bar;
    EXPECT_FALSE(bar.AttachToDialogItem(1018, &dialog)) << "no such control";
    EXPECT_FALSE(bar.IsAttached());
    ASSERT_TRUE(bar.AttachToDialogItem(1000, &dialog));
    EXPECT_TRUE(bar.IsAttached());
    EXPECT_EQ(bar.parentWidget(), &dialog);
    EXPECT_EQ(bar.geometry(), QRect(10, 60, 600, 395));
    EXPECT_EQ(bar.frameShadow(), QFrame::Sunken);
    EXPECT_EQ(bar.GetClientRect(), QRect(QPoint(0, 0), bar.contentsRect().size()));
    EXPECT_EQ(bar.property("controlId").toInt(), 1000);
    EXPECT_FALSE(bar.AttachToDialogItem(1000, &dialog)) << "already attached";

    QSignalSpy clicks(&bar, &CColorBar::clicked);
    sendMouse(bar, QEvent::MouseButtonPress, 50, 50);
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(clicks.at(0).at(0).toInt(), 1000);

    dialog.show(); // a hidden widget gets its resize event only when shown
    bar.resize(300, 200);
    EXPECT_EQ(bar.GetClientRect().size(), QSize(298, 198));
    EXPECT_EQ(bar.GetClientRect(), QRect(QPoint(0, 0), bar.contentsRect().size()));
}

TEST(GridInteraction, RefreshTimerIntervalIsAtLeastTenMilliseconds)
{
    CColorBar bar;
    auto* timer = bar.findChild<QTimer*>("refreshTimer");
    ASSERT_NE(timer, nullptr);
    for (const auto& [asked, used] : {std::pair{1, 10}, std::pair{0, 10}, std::pair{10, 10}, std::pair{25, 25}}) {
        bar.SetRefreshTimer(asked, true);
        EXPECT_TRUE(timer->isActive());
        EXPECT_EQ(timer->interval(), used) << asked;
    }
    bar.SetRefreshTimer(1, false);
    EXPECT_FALSE(timer->isActive());
}

TEST(GridLimits, OutOfRangeCountsAndIndicesTouchNothing)
{
    CColorBar bar;
    EXPECT_EQ(bar.GetColumns(), 2);
    EXPECT_EQ(bar.GetRows(), 2);
    bar.SetColumns(11);
    bar.SetRows(-1);
    EXPECT_EQ(bar.GetColumns(), 10);
    EXPECT_EQ(bar.GetRows(), 0);

    const CellData d = CellData::passing();
    for (const auto& [c, r] :
        {std::pair{10, 0}, std::pair{0, 10}, std::pair{-1, 0}, std::pair{0, -1}, std::pair{70, 70}}) {
        feed(bar, c, r, d);
        bar.SetSimilarityOn(c, r, true);
        bar.SetSimilarityThreshold(c, r, 0.5);
        bar.SetChannelState(c, r, 0, Dark);
        EXPECT_EQ(bar.GetChannelState(c, r, 0), 0);
        EXPECT_FALSE(bar.GetSimilarityOn(c, r));
        EXPECT_EQ(bar.GetSimilarityThreshold(c, r), 0.0);
        EXPECT_EQ(bar.ComputeSimilarity(c, r), 0.0);
        std::uint8_t states[GRID_CHANNELS] = {1};
        bar.GetChannelStates(c, r, states);
        EXPECT_EQ(states[0], 0);
    }
    for (const int k : {-1, 32, 1000}) {
        bar.SetChannelState(0, 0, k, Dark);
        EXPECT_EQ(bar.GetChannelState(0, 0, k), 0);
    }

    // The full 10 x 10 grid paints and judges all 100 cells, even at sizes with empty cells.
    bar.SetRows(10);
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c)
            feed(bar, c, r, d);
    for (const QSize size : {QSize(640, 480), QSize(1, 1), QSize(12, 7)}) {
        QImage image(size, QImage::Format_RGB32);
        sendMouse(bar, QEvent::MouseMove, 100000, 100000);
        bar.PaintTo(image);
        EXPECT_EQ(bar.GetFailCount(), 0);
        EXPECT_EQ(bar.GetTestedChannels(), 3200);
        EXPECT_EQ(bar.GetHoverColumn(), 9);
        EXPECT_EQ(bar.GetHoverRow(), 9);
    }
    EXPECT_EQ(PageOfCell(bar.GetHoverColumn(), bar.GetHoverRow(), bar.GetColumns()), -1) << "page 99";
}

// The worker's cycle against the UI thread's paints; run under TSan.
TEST(GridThreads, WorkerSettersAndFailCountWhileThePainterPaints)
{
    CColorBar bar;
    bar.SetColumns(4);
    bar.SetRows(4);
    std::atomic<bool> stop{false};
    std::atomic<int> cycles{0};
    std::thread worker([&] {
        CellData d = CellData::passing();
        int sink = 0;
        for (int n = 0; !stop; ++n) {
            for (int r = 0; r < bar.GetRows(); ++r) {
                for (int c = 0; c < bar.GetColumns(); ++c) {
                    d.value.fill(std::uint16_t(n % 2 ? 1200 : 700));
                    feed(bar, c, r, d);
                }
            }
            sink += bar.GetFailCount();
            ++cycles;
        }
        EXPECT_GE(sink, 0);
    });
    QImage image(320, 240, QImage::Format_RGB32);
    ASSERT_TRUE(waitUntil([&] { return cycles > 0; }));
    bool sawFail = false;
    for (int paints = 0; paints < 150; ++paints) {
        bar.PaintTo(image);
        bar.ClearHitMarks();
        sawFail = sawFail || bar.GetFailCount() > 0;
    }
    stop = true;
    worker.join();
    EXPECT_TRUE(sawFail);

    CellData failing = CellData::passing();
    failing.value[4] = 499;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            feed(bar, c, r, c == 2 && r == 3 ? CellData::passing() : failing);
    bar.PaintTo(image);
    EXPECT_EQ(bar.GetFailCount(), 15);
}

// With the refresh timer on, pictures are drawn off the UI thread and only what changed is copied
// to the window; whatever the order of changes, resizes and pictures, the window must end up
// showing exactly what a paint of the final state draws. Run under TSan.
TEST(GridThreads, TheRefreshedWindowEndsUpShowingTheFinalState)
{
    CColorBar bar;
    bar.SetColumns(3);
    bar.SetRows(2);
    bar.resize(1000, 700); // big enough cells for the layered picture
    bar.show();
    bar.SetRefreshTimer(10, true);
    const auto shown = [&] {
        return bar.grab(bar.contentsRect()).toImage().convertToFormat(QImage::Format_RGB32);
    };
    const auto finalPicture = [&] {
        QImage image(bar.contentsRect().size(), QImage::Format_RGB32);
        bar.PaintTo(image);
        return image;
    };

    std::atomic<bool> stop{false};
    std::atomic<int> cycles{0};
    std::thread worker([&] {
        CellData d = CellData::passing();
        for (int n = 0; !stop; ++n) {
            d.value.fill(std::uint16_t(600 + 40 * (n % 7)));
            d.value[std::size_t(n % GRID_CHANNELS)] = 1300; // a failing channel that moves
            feed(bar, n % 3, (n / 3) % 2, d);
            bar.SetEmergencyStop(n % 11 == 0);
            ++cycles;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    ASSERT_TRUE(waitUntil([&] { return cycles > 50; }));
    // A paint here at a new size puts a picture in the window that the drawing thread never drew.
    bar.resize(1040, 720);
    QCoreApplication::processEvents();
    ASSERT_TRUE(waitUntil([&] { return cycles > 150; }));
    stop = true;
    worker.join();

    // The last state reverts a cell the window already showed as changed.
    feed(bar, 0, 0, CellData::passing());
    bar.SetEmergencyStop(true);
    EXPECT_TRUE(waitUntil([&] { return shown() == finalPicture(); }));
    bar.SetEmergencyStop(false);
    EXPECT_TRUE(waitUntil([&] { return shown() == finalPicture(); }));
    // One bar grows: only its few pixels are copied.
    CellData grown = CellData::passing();
    grown.value[3] = 900;
    feed(bar, 2, 1, grown);
    EXPECT_TRUE(waitUntil([&] { return shown() == finalPicture(); }));
}

} // namespace
