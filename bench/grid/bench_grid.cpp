// Paint time of the grid against the floor of one fill and one copy of an image of the same size.
//
//   bench_grid [--iterations=N] [--no-cache] [--only=WxH,G]
//   bench_grid --png=FILE [--grid=CxR] [--size=WxH] [--failing] [--no-verdict]
//
// A paint is CColorBar::PaintTo into the back buffer plus the copy of that buffer to a second
// image standing in for the window. The cell data changes before every paint, as the
// acquisition worker would change it; that is not timed.
#include "colorbar.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct Options {
    int iterations = 300;
    bool cache = true;
    std::string png;
    int columns = 4, rows = 4;
    int width = 1920, height = 1000;
    bool failing = false;
    bool verdict = true;
    int onlyWidth = 0, onlyHeight = 0, onlyGrid = 0;
};

class Feeder {
public:
    explicit Feeder(bool failing) : failing_(failing) { }

    void feed(CColorBar& bar)
    {
        std::uniform_int_distribution<int> noise(-40, 40);
        std::uint16_t value[GRID_CHANNELS], reference[GRID_CHANNELS], upper[GRID_CHANNELS], lower[GRID_CHANNELS];
        std::uint8_t state[GRID_CHANNELS] = {};
        for (int r = 0; r < bar.GetRows(); ++r) {
            for (int c = 0; c < bar.GetColumns(); ++c) {
                for (int k = 0; k < GRID_CHANNELS; ++k) {
                    reference[k] = std::uint16_t(700 + 6 * k);
                    value[k] = std::uint16_t(reference[k] + noise(rng_));
                    upper[k] = std::uint16_t(reference[k] + 300);
                    lower[k] = std::uint16_t(reference[k] - 250);
                }
                if (failing_ && (r + c) % 2 == 0) {
                    value[3] = 1300;
                    value[17] = 200;
                    value[29] = 1400;
                }
                state[30] = Hatched;
                state[31] = Dark;
                bar.SetValues(c, r, value);
                bar.SetReference(c, r, reference);
                bar.SetUpperLimits(c, r, upper);
                bar.SetLowerLimits(c, r, lower);
                bar.SetChannelStates(c, r, state);
                bar.SetDataRange(c, r, 1500, 10);
            }
        }
    }

private:
    bool failing_;
    std::mt19937 rng_{42};
};

// Paints before timing starts: caches fill and the processor settles on its clock.
constexpr int kWarmUp = 100;

struct Stats {
    double median = 0;
    double p95 = 0;
};

Stats stats(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[std::min(ms.size() - 1, std::size_t(q * double(ms.size() - 1) + 0.5))]; };
    return {at(0.5), at(0.95)};
}

// The back buffer and the window's stand-in. Two buffers at nearly the same offset within 4 KiB
// pages make every copy between them stall (4K aliasing), which would measure where the allocator
// happened to put them; both measurements get the same pair, half a page apart.
class Surfaces {
public:
    Surfaces(int width, int height)
    {
        buffer = place(bufferStore_, width, height, 0);
        window = place(windowStore_, width, height, 2048);
    }

    QImage buffer;
    QImage window;

private:
    static QImage place(std::vector<uchar>& store, int width, int height, quintptr pageOffset)
    {
        const std::size_t bytesPerLine = std::size_t(width) * 4;
        store.assign(bytesPerLine * std::size_t(height) + 4096, 0);
        const std::size_t skip = (pageOffset - (quintptr(store.data()) & 4095)) & 4095;
        return QImage(store.data() + skip, width, height, qsizetype(bytesPerLine), QImage::Format_RGB32);
    }

    std::vector<uchar> bufferStore_, windowStore_;
};

void copyToWindow(Surfaces& s)
{
    QPainter p(&s.window);
    p.drawImage(0, 0, s.buffer);
}

Stats measureFloor(int width, int height, int iterations)
{
    Surfaces s(width, height);
    std::vector<double> ms;
    for (int i = 0; i < iterations + kWarmUp; ++i) {
        QElapsedTimer t;
        t.start();
        s.buffer.fill(qRgb(255, 255, 255));
        copyToWindow(s);
        if (i >= kWarmUp)
            ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return stats(ms);
}

Stats measurePaint(const Options& o, int width, int height, int grid, bool failing)
{
    CColorBar bar;
    bar.setPaintCacheEnabled(o.cache);
    bar.SetColumns(grid);
    bar.SetRows(grid);
    Feeder feeder(failing);
    Surfaces s(width, height);
    std::vector<double> ms;
    for (int i = 0; i < o.iterations + kWarmUp; ++i) {
        feeder.feed(bar);
        QElapsedTimer t;
        t.start();
        bar.PaintTo(s.buffer);
        copyToWindow(s);
        if (i >= kWarmUp)
            ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return stats(ms);
}

bool parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::sscanf(a, "--iterations=%d", &o.iterations) == 1)
            continue;
        if (std::sscanf(a, "--grid=%dx%d", &o.columns, &o.rows) == 2)
            continue;
        if (std::sscanf(a, "--size=%dx%d", &o.width, &o.height) == 2)
            continue;
        if (std::sscanf(a, "--only=%dx%d,%d", &o.onlyWidth, &o.onlyHeight, &o.onlyGrid) == 3)
            continue;
        if (std::strncmp(a, "--png=", 6) == 0)
            o.png = a + 6;
        else if (std::strcmp(a, "--no-cache") == 0)
            o.cache = false;
        else if (std::strcmp(a, "--failing") == 0)
            o.failing = true;
        else if (std::strcmp(a, "--no-verdict") == 0)
            o.verdict = false;
        else {
            std::fprintf(stderr, "unknown option %s\n", a);
            return false;
        }
    }
    o.iterations = std::max(o.iterations, 1);
    return o.width > 0 && o.height > 0;
}

int writePng(const Options& o)
{
    CColorBar bar;
    bar.SetColumns(o.columns);
    bar.SetRows(o.rows);
    bar.SetShowVerdict(o.verdict);
    Feeder feeder(o.failing);
    feeder.feed(bar);
    bar.SetSimilarityOn(0, 0, true);
    bar.SetSimilarityThreshold(0, 0, 0.5);
    QImage image(o.width, o.height, QImage::Format_RGB32);
    bar.PaintTo(image);
    bar.PaintTo(image); // the second paint shows the marks of the first
    if (!image.save(QString::fromStdString(o.png))) {
        std::fprintf(stderr, "cannot write %s\n", o.png.c_str());
        return 1;
    }
    std::printf("wrote %s (%dx%d, grid %dx%d, fail count %d)\n", o.png.c_str(), o.width, o.height, bar.GetColumns(),
        bar.GetRows(), bar.GetFailCount());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    Options o;
    if (!parse(argc, argv, o))
        return 2;
    if (!o.png.empty())
        return writePng(o);

    std::printf("grid paint, %d paints per line, cache %s; times in ms\n", o.iterations, o.cache ? "on" : "off");
    std::printf("%-10s %-6s %-8s %8s %8s %8s %8s %8s %9s\n", "size", "grid", "cells", "median", "p95", "floor", "ratio",
        "p95 rat.", "p95/med");
    for (const auto& [w, h] : {std::pair{1920, 1000}, std::pair{800, 600}}) {
        if (o.onlyGrid && (w != o.onlyWidth || h != o.onlyHeight))
            continue;
        const Stats floor = measureFloor(w, h, o.iterations);
        for (const int grid : {1, 4, 10}) {
            if (o.onlyGrid && grid != o.onlyGrid)
                continue;
            for (const bool failing : {false, true}) {
                const Stats s = measurePaint(o, w, h, grid, failing);
                std::printf("%4dx%-5d %2dx%-3d %-8s %8.3f %8.3f %8.3f %8.2f %8.2f %9.2f\n", w, h, grid, grid,
                    failing ? "failing" : "passing", s.median, s.p95, floor.median, s.median / floor.median,
                    s.p95 / floor.median, s.p95 / s.median);
            }
        }
    }
    return 0;
}
