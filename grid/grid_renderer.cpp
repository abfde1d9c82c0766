#include "grid_renderer.h"

#include "grid_geometry.h"

#include <algorithm>
#include <cstring>

namespace {

// Copies what the painter changed, or all of it where that is unknown or would cost more.
void copyChange(QImage& to, const QImage& from, const std::vector<GdiRect>* change)
{
    const int w = to.width(), h = to.height();
    long long work = 0;
    if (change)
        for (const GdiRect& rect : *change)
            work += (16LL + rect.right - rect.left) * (rect.bottom - rect.top);
    if (!change || work >= (long long)w * h) {
        std::memcpy(to.bits(), from.constBits(), std::size_t(to.sizeInBytes()));
        return;
    }
    const std::size_t pixel = 4; // both Format_RGB32
    for (const GdiRect& rect : *change) {
        const int left = std::max(rect.left, 0), right = std::min(rect.right, w);
        if (left >= right)
            continue;
        for (int y = std::max(rect.top, 0); y < std::min(rect.bottom, h); ++y)
            std::memcpy(to.scanLine(y) + left * pixel, from.constScanLine(y) + left * pixel,
                        std::size_t(right - left) * pixel);
    }
}

} // namespace

QRegion ChangedArea(const GridFrame& before, const GridFrame& after, QSize size)
{
    const QRect all(QPoint(0, 0), size);
    // The big word and the fail count span the grid; verdicts may overlap their neighbours.
    if (before.columns != after.columns || before.rows != after.rows || before.showVerdict != after.showVerdict ||
        before.fpcTestMode != after.fpcTestMode || before.failCount != after.failCount ||
        before.emergencyStop != after.emergencyStop)
        return all;
    const GridGeometry g(all.width(), all.height(), after.columns, after.rows, after.showVerdict);
    QRegion changed;
    for (int r = 0; r < after.rows; ++r) {
        for (int c = 0; c < after.columns; ++c) {
            if (before.verdicts[c][r] != after.verdicts[c][r])
                return all;
            if (before.untested[c][r] == after.untested[c][r] &&
                std::memcmp(&before.cells[c][r], &after.cells[c][r], sizeof(ColorBarCell)) == 0)
                continue;
            // A cell's texts may reach a pixel or two beyond its lines.
            const int left = Trunc(g.cellX(c)) - 2, top = Trunc(g.cellY(r)) - 2;
            changed += QRect(QPoint(left, top), QPoint(Trunc(g.cellX(c + 1)) + 2, Trunc(g.cellY(r + 1)) + 2));
        }
    }
    return changed.intersected(all);
}

GridRenderer::GridRenderer(std::function<void()> finished)
    : finished_(std::move(finished)), thread_([this] { run(); })
{
}

GridRenderer::~GridRenderer()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void GridRenderer::Submit(const GridFrame& frame, QSize size, std::uint64_t stamp)
{
    {
        std::lock_guard lock(mutex_);
        if (!waiting_)
            waiting_ = std::make_unique<GridFrame>();
        *waiting_ = frame;
        waitingSize_ = size;
        waitingStamp_ = stamp;
    }
    wake_.notify_one();
}

GridRenderer::Taken GridRenderer::Take()
{
    std::lock_guard lock(mutex_);
    Taken taken{readyChanged_, ready_.size(), readyStamp_};
    readyChanged_ = QRegion();
    return taken;
}

bool GridRenderer::DrawTo(QPainter& painter, QPoint at, const QRect& source, QSize size)
{
    std::lock_guard lock(mutex_);
    if (ready_.size() != size)
        return false;
    painter.drawImage(at, ready_, source);
    return true;
}

void GridRenderer::run()
{
    std::unique_ptr<GridFrame> frame;
    for (;;) {
        QSize size;
        std::uint64_t stamp = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || waiting_; });
            if (stop_)
                return;
            frame = std::move(waiting_);
            size = waitingSize_;
            stamp = waitingStamp_;
        }
        const bool resized = work_.size() != size;
        if (resized)
            work_ = QImage(size, QImage::Format_RGB32);
        painter_.paint(work_, *frame);
        const QRegion changed =
            resized || !drawn_ ? QRegion(QRect(QPoint(0, 0), size)) : ChangedArea(*drawn_, *frame, size);
        {
            std::lock_guard lock(mutex_);
            if (ready_.size() != size) {
                ready_ = work_.copy();
                readyChanged_ = QRect(QPoint(0, 0), size);
            } else {
                copyChange(ready_, work_, painter_.lastChange());
                readyChanged_ += changed;
            }
            readyStamp_ = stamp;
        }
        drawn_.swap(frame);
        finished_();
    }
}
