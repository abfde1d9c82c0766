#include "grid_renderer.h"

#include "grid_geometry.h"

#include <cstring>

namespace {

void copyArea(QImage& to, const QImage& from, const QRegion& area)
{
    const QRect bounds(QPoint(0, 0), to.size());
    const std::size_t pixel = 4; // both Format_RGB32
    for (const QRect& rect : area) {
        const QRect r = rect.intersected(bounds);
        for (int y = r.top(); y <= r.bottom(); ++y)
            std::memcpy(to.scanLine(y) + r.left() * pixel, from.constScanLine(y) + r.left() * pixel,
                        std::size_t(r.width()) * pixel);
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
                copyArea(ready_, work_, changed);
                readyChanged_ += changed;
            }
            readyStamp_ = stamp;
        }
        drawn_.swap(frame);
        finished_();
    }
}
