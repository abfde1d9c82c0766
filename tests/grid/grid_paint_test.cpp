#include "grid_fixture.h"
#include "grid_geometry.h"
#include "grid_painter.h"
#include "raster.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>

#include <functional>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

namespace {

// A 2 x 1 grid at 1281 x 801: cw = 640, chw = 20, ch = 800, bar area y0 = 3 .. y1 = 657. The range
// 0..1308 gives 0.5 pixel per count: level(v) = 654 - v / 2.
constexpr int kWidth = 1281, kHeight = 801;

CellData scaledCell()
{
    CellData d = CellData::passing();
    d.high = 1308;
    d.low = 0;
    d.upper.fill(1000); // pink zone 3..157
    d.lower.fill(300);  // yellow zone 507..657
    d.value.fill(654);  // bar from 330
    return d;
}

QRgb rgb(int r, int g, int b) { return qRgb(r, g, b); }

std::string name(QRgb c)
{
    return "(" + std::to_string(qRed(c)) + "," + std::to_string(qGreen(c)) + "," + std::to_string(qBlue(c)) + ")";
}

class GridPaint : public ::testing::Test {
protected:
    void SetUp() override
    {
        bar.SetColumns(2);
        bar.SetRows(1);
        cell0 = scaledCell();
        cell1 = scaledCell();
    }
    void paint()
    {
        feed(bar, 0, 0, cell0);
        feed(bar, 1, 0, cell1);
        bar.PaintTo(image);
    }
    QRgb at(int x, int y) const { return image.pixel(x, y) & 0xffffff; }
    int count(QRgb colour, int left, int top, int right, int bottom) const
    {
        int n = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                n += at(x, y) == (colour & 0xffffff);
        return n;
    }
    // Inside the rectangle every pixel is hatch ink or white, by its place in the pattern.
    void expectHatch(int left, int top, int right, int bottom) const
    {
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                ASSERT_EQ(at(x, y), Raster::isHatchInk(x, y) ? rgb(155, 155, 155) & 0xffffff : 0xffffffu)
                    << x << "," << y;
    }

    CColorBar bar;
    CellData cell0, cell1;
    QImage image{kWidth, kHeight, QImage::Format_RGB32};
};

struct Probe {
    int x, y;
    QRgb colour;
};

struct PixelCase {
    const char* name;
    std::function<void(CellData&)> setup;
    std::vector<Probe> probes; // channel 10 of cell 0: bar column x 203..218, value bar x 205..216
};

TEST_F(GridPaint, BarColumnPixels)
{
    const QRgb pink = rgb(255, 200, 200), band = rgb(200, 255, 200), yellow = rgb(255, 255, 200);
    const QRgb blue = rgb(150, 150, 255), red = rgb(255, 0, 0), dark = rgb(100, 100, 100), white = rgb(255, 255, 255);
    const PixelCase cases[] = {
        {"three zones and the value bar's top", [](CellData&) {},
            {{217, 100, pink}, {217, 156, pink}, {217, 157, band}, {217, 400, band}, {217, 506, band},
                {217, 507, yellow}, {217, 560, yellow}, {210, 329, band}, {210, 330, blue}, {210, 600, blue}}},
        {"reference mark two pixels high just above its level",
            [](CellData& d) { d.reference[10] = 654; }, // p = 327: rows 328 and 329
            {{217, 327, band}, {217, 328, red}, {217, 329, red}, {217, 330, band}}},
        {"value at rangeHigh fills its column", [](CellData& d) { d.value[10] = 1308; },
            {{210, 60, blue}, {210, 400, blue}, {210, 600, blue}, {217, 60, pink}}},
        {"value above rangeHigh is clamped", [](CellData& d) { d.value[10] = 5000; }, {{210, 60, blue}}},
        {"value at rangeLow leaves no bar while the verdict row shows", [](CellData& d) { d.value[10] = 0; },
            {{210, 600, yellow}, {210, 400, band}}},
        {"limits beyond the range give no pink and no yellow zone",
            [](CellData& d) { d.upper[10] = 1308, d.lower[10] = 0, d.value[10] = 0; },
            {{217, 10, band}, {217, 640, band}}},
        {"Dark channel: dark bar, zones around it", [](CellData& d) { d.state[10] = Dark; },
            {{210, 500, dark}, {210, 640, dark}, {210, 329, band}, {217, 500, band}}},
        {"zero range draws no zones, bars or marks", [](CellData& d) { d.high = d.low = 700; },
            {{217, 100, white}, {217, 400, white}, {210, 400, white}, {210, 600, white}}},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        cell0 = scaledCell();
        tc.setup(cell0);
        paint();
        for (const Probe& p : tc.probes)
            EXPECT_EQ(name(at(p.x, p.y)), name(p.colour)) << "at " << p.x << "," << p.y;
    }
}

TEST_F(GridPaint, ReferenceAtRangeHighDrawsNoMark)
{
    cell0.reference[10] = 1308;
    paint();
    EXPECT_EQ(count(rgb(255, 0, 0), 203, 0, 218, 700), 0);
    cell0.reference[10] = 1306; // p = 1: the mark sits on the frame just above the bar area
    paint();
    EXPECT_EQ(count(rgb(255, 0, 0), 203, 2, 218, 4), 2 * 15);
}

TEST_F(GridPaint, HatchedChannelShowsOnlyHatching)
{
    cell0.state[10] = Hatched;
    cell0.reference[10] = 900;
    paint();
    const QRgb pen = rgb(100, 100, 100);
    EXPECT_EQ(name(at(203, 300)), name(pen));
    EXPECT_EQ(name(at(217, 300)), name(pen));
    expectHatch(204, 4, 217, 656);
    // Strip box 203..218 x 662..697; its channel number covers the left part.
    expectHatch(214, 663, 217, 696);
    EXPECT_EQ(count(rgb(255, 50, 50), 203, 0, 218, 700), 0) << "no value or difference text";
}

TEST_F(GridPaint, MarkedBarTurnsGreenInFpcModeFromTheNextPaint)
{
    cell0.value[10] = 1200;
    bar.SetFpcTestMode(1);
    paint();
    EXPECT_EQ(name(at(210, 400)), name(rgb(150, 150, 255))) << "marked during this paint's strip";
    paint();
    EXPECT_EQ(name(at(210, 400)), name(rgb(100, 255, 100)));
    bar.SetFpcTestMode(0);
    paint();
    EXPECT_EQ(name(at(210, 400)), name(rgb(150, 150, 255)));
}

TEST_F(GridPaint, VerdictBoxesAndTexts)
{
    // Verdict frames: cell 0 (2, 700, 639, 799), cell 1 (642, 700, 1279, 799); boxes 2 pixels in.
    cell0.value[3] = 1001;
    paint();
    EXPECT_EQ(name(at(4, 702)), name(rgb(255, 100, 100)));
    EXPECT_EQ(name(at(3, 702)), name(rgb(255, 255, 255)));
    EXPECT_EQ(name(at(644, 702)), name(rgb(100, 255, 100)));
    EXPECT_GT(count(rgb(250, 250, 50), 2, 700, 639, 799), 500) << "FAIL";
    EXPECT_GT(count(rgb(50, 50, 250), 642, 700, 1279, 799), 500) << "PASS";
    EXPECT_EQ(bar.GetFailCount(), 1);

    cell1.state.fill(Dark);
    paint();
    expectHatch(644, 702, 700, 720);
    EXPECT_GT(count(rgb(150, 150, 150), 642, 700, 1279, 799), 500) << "LOAD";
}

TEST_F(GridPaint, SimilarityTextIsGreenOnlyAboveTheThreshold)
{
    for (int k = 0; k < GRID_CHANNELS; ++k)
        cell0.reference[std::size_t(k)] = cell0.value[std::size_t(k)] = std::uint16_t(600 + 7 * k);
    feed(bar, 0, 0, cell0);
    const double s = bar.ComputeSimilarity(0, 0);
    bar.SetSimilarityOn(0, 0, true);
    const QRgb green = rgb(50, 150, 50), red = rgb(250, 50, 50);
    for (const auto& [threshold, colour, verdict] :
        {std::tuple{s, red, Pass}, std::tuple{s - 0.01, green, Pass}, std::tuple{s + 0.01, red, Fail}}) {
        bar.SetSimilarityThreshold(0, 0, threshold);
        paint();
        EXPECT_EQ(bar.GetSimilarity(0, 0), s);
        EXPECT_EQ(bar.GetVerdict(0, 0), verdict) << threshold;
        // Text at (3, 30), 100 pixels high.
        EXPECT_GT(count(colour, 3, 30, 400, 130), 300) << threshold;
        EXPECT_EQ(count(colour == red ? green : red, 3, 30, 400, 130), 0) << threshold;
    }
}

TEST_F(GridPaint, StripMovesDownWithoutTheVerdictRow)
{
    // Strip box of channel 10: y 662..697 with the verdict row, 100 (the shift) lower without it.
    const QRgb stripGreen = rgb(100, 255, 100);
    paint();
    EXPECT_EQ(name(at(216, 680)), name(stripGreen));
    EXPECT_EQ(name(at(216, 780)), name(rgb(100, 255, 100))) << "the PASS box below";
    bar.SetShowVerdict(false);
    paint();
    EXPECT_EQ(name(at(216, 780)), name(stripGreen));
    EXPECT_EQ(name(at(216, 680)), name(rgb(255, 255, 200))) << "bar area reaches 757 now";
    EXPECT_EQ(name(at(210, 700)), name(rgb(150, 150, 255)));
    EXPECT_EQ(name(at(216, 761)), name(rgb(255, 255, 255))) << "strip frame interior";
}

// The ends of a cell's range map to the ends of the bar area exactly, whatever the size: a
// reference at rangeHigh puts no mark on the frame's top line, one at rangeLow sits at the bottom,
// and values at the ends give a full and an empty bar. Channels are Dark so that no text covers them.
TEST(GridPaintRangeEnds, ExactAtEverySizeAndShape)
{
    const double ranges[][2] = {{1500, 10}, {1308, 0}, {65535, 0}, {1000, 999}, {4095, 7}};
    for (int width = 300; width <= 2600; width += 23)
        for (int height = 200; height <= 1600; height += 17)
            for (int columns = 1; columns <= GRID_MAX_COLUMNS; ++columns)
                for (int rows = 1; rows <= GRID_MAX_ROWS; rows += 3)
                    for (const auto& range : ranges) {
                        const GridGeometry g(width, height, columns, rows, true);
                        ASSERT_EQ(g.level(range[0], range[0], range[1]), 0.0)
                            << width << "x" << height << ", " << columns << "x" << rows << ", " << range[0];
                        ASSERT_EQ(g.level(range[1], range[0], range[1]), g.barH)
                            << width << "x" << height << ", " << columns << "x" << rows << ", " << range[1];
                    }

    const struct {
        int width, height, columns, rows, high, low;
    } cases[] = {
        {2001, 1404, 3, 2, 1500, 10},
        {1281, 801, 2, 1, 1308, 0},
        {1920, 1000, 4, 4, 1500, 10},
        {1366, 705, 3, 3, 4095, 7},
        {1777, 999, 2, 3, 65535, 0},
        {2560, 1377, 5, 2, 1000, 999},
        {1024, 700, 1, 1, 1501, 13},
    };
    const QRgb red = qRgb(255, 0, 0), dark = qRgb(100, 100, 100);
    for (const auto& tc : cases) {
        SCOPED_TRACE(std::to_string(tc.width) + "x" + std::to_string(tc.height) + " " + std::to_string(tc.columns) +
            "x" + std::to_string(tc.rows));
        GridFrame frame;
        frame.columns = tc.columns;
        frame.rows = tc.rows;
        frame.failCount = 1; // no overall PASS over the picture
        CellData d;
        d.high = tc.high;
        d.low = tc.low;
        d.state.fill(Dark);
        d.upper.fill(std::uint16_t(tc.high));
        d.lower.fill(std::uint16_t(tc.low));
        for (std::size_t k = 0; k < GRID_CHANNELS; ++k) {
            // Even channels: mark at the bottom, full bar. Odd ones: no mark, no bar.
            d.reference[k] = std::uint16_t(k % 2 ? tc.high : tc.low);
            d.value[k] = std::uint16_t(k % 2 ? tc.low : tc.high);
        }
        for (int r = 0; r < tc.rows; ++r)
            for (int c = 0; c < tc.columns; ++c)
                frame.cells[c][r] = toCell(d);
        const GridGeometry g(tc.width, tc.height, tc.columns, tc.rows, true);
        for (const bool cache : {true, false}) {
            GridPainter painter;
            painter.setCacheEnabled(cache);
            QImage image(tc.width, tc.height, QImage::Format_RGB32);
            painter.paint(image, frame);
            const auto at = [&](int x, int y) { return image.pixel(x, y) & 0xffffff; };
            for (int r = 0; r < tc.rows; ++r) {
                for (int c = 0; c < tc.columns; ++c) {
                    const int y0 = g.barTop(r), y1 = g.barBottom(r);
                    const int bottomMark = Trunc(y0 + g.barH - 2);
                    for (int k = 0; k < GRID_CHANNELS; ++k) {
                        const GdiRect col = g.barColumn(c, r, k);
                        const int mid = (col.left + col.right) / 2;
                        int marks = 0;
                        for (int y = g.channelFrame(c, r, k).top; y < y1; ++y)
                            for (int x = col.left; x < col.right; ++x)
                                if (at(x, y) == (red & 0xffffff)) {
                                    ++marks;
                                    ASSERT_TRUE(k % 2 == 0 && (y == bottomMark || y == bottomMark + 1))
                                        << "mark at " << x << "," << y << " channel " << k;
                                }
                        if (k % 2) {
                            ASSERT_EQ(marks, 0) << "channel " << k;
                            for (int y = y0; y < y1; ++y)
                                ASSERT_NE(at(mid, y), dark & 0xffffff) << "empty bar at " << mid << "," << y;
                        } else {
                            ASSERT_EQ(marks, 2 * (col.right - col.left)) << "channel " << k;
                            for (int y = y0; y < bottomMark; ++y)
                                ASSERT_EQ(at(mid, y), dark & 0xffffff) << "full bar at " << mid << "," << y;
                        }
                    }
                }
            }
        }
    }
}

// Cells no board measures show no data and no verdict, and never make the overall PASS.
TEST(GridPaintUntested, NeutralAndWithoutVerdict)
{
    const QRgb verdictColours[] = {qRgb(255, 100, 100), qRgb(250, 250, 50), qRgb(100, 255, 100), qRgb(50, 50, 250),
        qRgb(150, 150, 150), qRgb(155, 155, 155)};
    const QRgb dataColours[] = {qRgb(150, 150, 255), qRgb(255, 0, 0), qRgb(255, 50, 50), qRgb(50, 155, 50),
        qRgb(255, 200, 200), qRgb(200, 255, 200), qRgb(255, 255, 200)};
    const QRgb overallPass = qRgb(0, 255, 0);
    CellData passing = scaledCell(), failing = scaledCell();
    passing.reference.fill(654);
    failing.value[3] = 1200;
    for (const bool cache : {true, false}) {
        SCOPED_TRACE(cache ? "cached" : "in order");
        CColorBar bar;
        bar.setPaintCacheEnabled(cache);
        bar.SetColumns(2);
        bar.SetRows(2);
        feed(bar, 0, 0, failing);
        feed(bar, 1, 0, failing);
        feed(bar, 0, 1, passing);
        feed(bar, 1, 1, passing);
        bar.SetCellTested(1, 0, false);
        bar.SetCellTested(0, 1, false);
        QImage image(kWidth, kHeight, QImage::Format_RGB32);
        const GridGeometry g(kWidth, kHeight, 2, 2, true);
        const auto count = [&](QRgb colour, const GdiRect& r) {
            int n = 0;
            for (int y = r.top; y < r.bottom; ++y)
                for (int x = r.left; x < r.right; ++x)
                    n += (image.pixel(x, y) & 0xffffff) == (colour & 0xffffff);
            return n;
        };
        const auto cellArea = [&](int c, int r) {
            return GdiRect{Trunc(g.cellX(c)), Trunc(g.cellY(r)), Trunc(g.cellX(c) + g.cw), Trunc(g.cellY(r) + g.ch)};
        };

        bar.PaintTo(image);
        EXPECT_EQ(bar.GetFailCount(), 1);
        EXPECT_GT(count(qRgb(255, 100, 100), g.verdictFrame(0, 0)), 500) << "the tested cell still fails";
        EXPECT_GT(count(qRgb(150, 150, 255), cellArea(0, 0)), 1000) << "and shows its bars";
        for (const auto& [c, r] : {std::pair{1, 0}, std::pair{0, 1}}) {
            SCOPED_TRACE("cell " + std::to_string(c) + "," + std::to_string(r));
            const GdiRect v = g.verdictFrame(c, r);
            for (const QRgb colour : verdictColours)
                EXPECT_EQ(count(colour, v), 0) << name(colour);
            const GdiRect inside = {v.left + 2, v.top + 2, v.right - 2, v.bottom - 2}; // the verdict box
            EXPECT_EQ(count(image.pixel(inside.left, inside.top), inside),
                (inside.right - inside.left) * (inside.bottom - inside.top))
                << "one plain colour, no text";
            for (const QRgb colour : dataColours)
                EXPECT_EQ(count(colour, cellArea(c, r)), 0) << name(colour);
        }

        feed(bar, 0, 0, passing);
        bar.PaintTo(image);
        EXPECT_EQ(bar.GetFailCount(), 0);
        EXPECT_GT(count(overallPass, {0, 0, kWidth, kHeight}), 100) << "PASS over the tested cells";

        bar.SetCellTested(0, 0, false);
        bar.SetCellTested(1, 1, false);
        bar.PaintTo(image);
        EXPECT_EQ(bar.GetFailCount(), 0);
        EXPECT_EQ(count(overallPass, {0, 0, kWidth, kHeight}), 0) << "no PASS without a tested cell";
    }
}

GridFrame passingFrame(int columns)
{
    GridFrame f;
    f.columns = columns;
    f.rows = 1;
    for (int c = 0; c < columns; ++c) {
        CellData d = scaledCell();
        d.reference.fill(654); // a row of red marks across the letters
        f.cells[c][0] = toCell(d);
        f.verdicts[c][0] = Pass;
    }
    return f;
}

TEST(GridPassPicture, CombinedByAndOnlyWithMoreThanOneColumn)
{
    const PassPicture picture = RenderPassPicture(kWidth, kHeight);
    const QImage& pass = picture.image;
    ASSERT_FALSE(picture.ink.empty());
    int left = kWidth;
    for (const GdiRect& run : picture.ink)
        left = std::min(left, run.left);
    EXPECT_NEAR(left, (kWidth - int(4 * (kWidth / 9) * 1.3)) / 2, 30);

    for (const int columns : {2, 1}) {
        GridFrame frame = passingFrame(columns);
        GridPainter painter;
        QImage without(kWidth, kHeight, QImage::Format_RGB32), with(kWidth, kHeight, QImage::Format_RGB32);
        frame.failCount = 1;
        painter.paint(without, frame);
        frame.failCount = 0;
        painter.paint(with, frame);
        if (columns == 1) {
            EXPECT_EQ(with, without) << "never over a single column";
            continue;
        }
        int blackOverRed = 0, greenOverWhite = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const QRgb b = pass.pixel(x, y), a = without.pixel(x, y), r = with.pixel(x, y);
                ASSERT_EQ(r, a & b) << x << "," << y;
                if ((b & 0xffffff) == 0x00ff00) {
                    blackOverRed += (a & 0xffffff) == 0xff0000 && (r & 0xffffff) == 0;
                    greenOverWhite += (a & 0xffffff) == 0xffffff && (r & 0xffffff) == 0x00ff00;
                }
            }
        }
        EXPECT_GT(blackOverRed, 100);
        EXPECT_GT(greenOverWhite, 100);
    }
}

// The emergency stop's word stands where PASS would, over any grid, combined the same way; a grid
// of LOAD cells judges nothing and shows no PASS.
TEST(GridPassPicture, StopWordInPlaceOfPassAndNoPassOverLoadCells)
{
    const PassPicture stop = RenderStopPicture(kWidth, kHeight);
    ASSERT_FALSE(stop.ink.empty());
    for (const int columns : {2, 1}) {
        GridFrame frame = passingFrame(columns);
        for (int c = 0; c < columns; ++c)
            frame.untested[c][0] = true; // nothing is measured during the stop
        GridPainter painter;
        QImage plain(kWidth, kHeight, QImage::Format_RGB32), stopped(kWidth, kHeight, QImage::Format_RGB32);
        painter.paint(plain, frame);
        frame.emergencyStop = true;
        painter.paint(stopped, frame);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                ASSERT_EQ(stopped.pixel(x, y), plain.pixel(x, y) & stop.image.pixel(x, y)) << x << "," << y;
    }

    GridFrame load = passingFrame(2);
    for (int c = 0; c < 2; ++c)
        std::fill(std::begin(load.cells[c][0].channelState), std::end(load.cells[c][0].channelState), Hatched);
    GridPainter painter;
    QImage without(kWidth, kHeight, QImage::Format_RGB32), with(kWidth, kHeight, QImage::Format_RGB32);
    load.failCount = 1;
    painter.paint(without, load);
    load.failCount = 0;
    painter.paint(with, load);
    EXPECT_EQ(with, without) << "PASS over cells that judged nothing";
}

// Two grids fed alike, one drawing from its cached layers and one drawing everything anew, must
// give the same pixels through changes of data, limits, states, switches, grid and size. The
// cached grid gets its last image back while the size stays, as a window's back buffer would,
// so that it only puts back what changed; now and then it is handed a new image.
TEST(GridPaintCache, SamePixelsAsDrawingEverythingAnew)
{
    CColorBar cached, fresh;
    fresh.setPaintCacheEnabled(false);
    ASSERT_TRUE(cached.paintCacheEnabled());
    std::mt19937 rng(7);
    auto both = [&](const std::function<void(CColorBar&)>& f) {
        f(cached);
        f(fresh);
    };
    // Every cell of the 10 x 10 capacity, values spread by up to `noise` around the base data.
    auto feedAll = [&](const CellData& base, int noise) {
        std::uniform_int_distribution<int> spread(-noise, noise);
        for (int r = 0; r < GRID_MAX_ROWS; ++r) {
            for (int c = 0; c < GRID_MAX_COLUMNS; ++c) {
                CellData d = base;
                for (auto& v : d.value)
                    v = std::uint16_t(std::clamp(int(v) + spread(rng), 0, 65535));
                both([&](CColorBar& b) { feed(b, c, r, d); });
            }
        }
    };
    auto grid = [&](int columns, int rows) { both([&](CColorBar& b) { b.SetColumns(columns), b.SetRows(rows); }); };
    auto cellOf = [&](int c, int r, const std::function<void(CellData&)>& f) {
        CellData d = CellData::passing();
        f(d);
        both([&](CColorBar& b) { feed(b, c, r, d); });
    };
    auto untested = [&](std::initializer_list<std::pair<int, int>> cells, bool on) {
        for (const auto& [c, r] : cells)
            both([&](CColorBar& b) { b.SetCellTested(c, r, !on); });
    };
    const CellData base = CellData::passing();
    CellData failing = base;
    failing.value[2] = 1200;

    struct Step {
        const char* name;
        QSize size;
        std::function<void()> change;
        bool newImage = false;
    };
    const QSize mid(1024, 700), big(1920, 1000), small(800, 600), tiny(300, 200);
    const Step steps[] = {
        {"4 x 4", mid, [&] { grid(4, 4), feedAll(failing, 60); }},
        {"new values", mid, [&] { feedAll(failing, 60); }},
        {"new values again", mid, [&] { feedAll(failing, 400); }},
        {"bars to the bottom and the top", mid,
            [&] { cellOf(1, 1, [](CellData& d) { d.value.fill(0), d.value[3] = 1500, d.value[4] = 9000; }); }},
        {"bars back", mid, [&] { cellOf(1, 1, [](CellData&) {}); }},
        {"one upper limit", mid, [&] { cellOf(2, 1, [](CellData& d) { d.upper[5] = 800; }); }},
        {"new values over the new limit", mid, [&] { feedAll(failing, 60); }},
        {"one lower limit", mid, [&] { cellOf(3, 3, [](CellData& d) { d.lower[6] = 1000; }); }},
        {"one range", mid, [&] { cellOf(0, 2, [](CellData& d) { d.high = 1200; }); }},
        {"states", mid,
            [&] {
                both([](CColorBar& b) {
                    b.SetChannelState(1, 1, 3, Hatched), b.SetChannelState(1, 1, 4, Dark),
                        b.SetChannelState(1, 1, 5, 3);
                });
            }},
        {"references near the top under the hatching", mid,
            [&] {
                cellOf(1, 1, [](CellData& d) { d.state[3] = Hatched, d.reference[3] = 1498, d.reference[4] = 10; });
            }},
        {"states back, a Load cell", mid,
            [&] {
                cellOf(1, 1, [](CellData&) {});
                cellOf(2, 2, [](CellData& d) { d.state.fill(Dark); });
            },
            true},
        {"marks in FPC mode", mid, [&] { both([](CColorBar& b) { b.SetFpcTestMode(1); }), feedAll(failing, 60); }},
        {"marks shown", mid, [&] { feedAll(base, 60); }},
        {"all pass: the overall PASS", mid, [&] { feedAll(base, 60); }},
        {"still passing", mid, [&] { feedAll(base, 60); }},
        {"one failure hides it", mid, [&] { cellOf(3, 0, [](CellData& d) { d.value[0] = 10; }); }},
        {"two cells untested, one of them failing", mid, [&] { untested({{1, 2}, {3, 0}}, true); }},
        {"new values beside untested cells", mid, [&] { feedAll(base, 60); }},
        {"every cell untested", mid,
            [&] {
                for (int r = 0; r < 4; ++r)
                    for (int c = 0; c < 4; ++c)
                        untested({{c, r}}, true);
            }},
        {"tested again", mid,
            [&] {
                for (int r = 0; r < 4; ++r)
                    for (int c = 0; c < 4; ++c)
                        untested({{c, r}}, false);
                feedAll(base, 60);
            }},
        {"similarity on", mid,
            [&] {
                both([](CColorBar& b) { b.SetSimilarityOn(2, 2, true), b.SetSimilarityOn(1, 3, true); });
                feedAll(base, 60);
            }},
        {"new values with similarity", mid, [&] { feedAll(base, 60); }},
        {"no verdict row", mid, [&] { both([](CColorBar& b) { b.SetShowVerdict(false); }), feedAll(base, 60); }},
        {"new values without verdict row", mid, [&] { feedAll(failing, 60); }},
        {"10 x 10", big,
            [&] { both([](CColorBar& b) { b.SetShowVerdict(true); }), grid(10, 10), feedAll(failing, 60); }},
        {"new values 10 x 10", big, [&] { feedAll(base, 60); }},
        {"10 x 10, verdict texts wider than the cells", small, [&] { feedAll(failing, 60); }},
        {"new values, narrow cells", small, [&] { feedAll(failing, 60); }},
        {"untested among narrow cells", small, [&] { untested({{2, 3}, {5, 5}, {9, 0}}, true), feedAll(failing, 60); }},
        {"4 x 4, numbers reaching the next cell", small, [&] { grid(4, 4), feedAll(failing, 60); }},
        {"10 x 1 flat cells", big, [&] { grid(10, 1); }},
        {"similarity text over the neighbours", big,
            [&] { both([](CColorBar& b) { b.SetSimilarityOn(0, 0, true), b.SetSimilarityOn(4, 0, true); }); }},
        {"new values under the similarity text", big, [&] { feedAll(base, 60); }},
        {"tiny 10 x 10", tiny, [&] { grid(10, 10), feedAll(base, 60); }},
        {"1 x 1", tiny, [&] { grid(1, 1); }},
        {"empty grid", tiny, [&] { grid(0, 0); }},
        {"2 x 1 after empty", tiny, [&] { grid(2, 1); }},
    };
    QImage a;
    for (const Step& step : steps) {
        step.change();
        if (a.size() != step.size || step.newImage)
            a = QImage(step.size, QImage::Format_RGB32);
        QImage b(step.size, QImage::Format_RGB32);
        cached.PaintTo(a);
        fresh.PaintTo(b);
        ASSERT_EQ(cached.GetFailCount(), fresh.GetFailCount()) << step.name;
        if (a != b) {
            for (int y = 0; y < a.height(); ++y)
                for (int x = 0; x < a.width(); ++x)
                    ASSERT_EQ(name(a.pixel(x, y)), name(b.pixel(x, y))) << step.name << " at " << x << "," << y;
        }
    }
}

TEST(GdiFont, HeightIsTheCellAndWidthTheAverageCharacter)
{
    static constexpr int weights[27] = {
        64, 14, 27, 35, 100, 20, 14, 42, 63, 3, 6, 35, 20, 56, 56, 17, 4, 49, 56, 71, 31, 10, 18, 3, 18, 2, 166};
    const struct {
        int height, width;
        bool heavy;
    } cases[] = {{40, 8, false}, {100, 30, false}, {125, 5, false}, {200, 213, true}};
    for (const auto& c : cases) {
        const QFontMetricsF fm(MakeGdiFont({c.height, c.width, false, c.heavy}));
        EXPECT_NEAR(fm.ascent() + fm.descent(), c.height, 1.0) << c.height;
        double sum = 0;
        const QString letters = QStringLiteral("abcdefghijklmnopqrstuvwxyz ");
        for (int i = 0; i < 27; ++i)
            sum += fm.horizontalAdvance(letters[i]) * weights[i];
        EXPECT_NEAR(sum / 1000, c.width, 0.05 * c.width + 0.3) << c.height << " x " << c.width;
    }
}

} // namespace
