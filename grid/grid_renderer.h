#pragma once
// Draws the grid's pictures on a thread of its own, so that a picture that takes long (a new
// layout, a new size, the big word's first rendering) never holds up the window's event loop.
// The window hands in snapshots; when one is busy drawing, a newer one replaces the one waiting,
// so the window sees the newest state and never a queue. Finished pictures are taken from the UI
// thread, which draws straight from the newest one.
#include "grid_painter.h"

#include <QImage>
#include <QPainter>
#include <QRegion>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// The area (image coordinates) where a picture of `after` may differ from one of `before`, both
// drawn at `size`.
QRegion ChangedArea(const GridFrame& before, const GridFrame& after, QSize size);

class GridRenderer {
public:
    // `finished` is called on the drawing thread after each picture; it must only post.
    explicit GridRenderer(std::function<void()> finished);
    ~GridRenderer(); // waits for the picture being drawn
    GridRenderer(const GridRenderer&) = delete;
    GridRenderer& operator=(const GridRenderer&) = delete;

    // `stamp` comes back with the picture, to tell which state it shows.
    void Submit(const GridFrame& frame, QSize size, std::uint64_t stamp);

    struct Taken {
        QRegion changed; // in image coordinates; empty when nothing new was ready
        QSize size;
        std::uint64_t stamp = 0;
    };
    // What changed in the newest finished picture since the last take.
    Taken Take();
    // Draws `source` of the newest finished picture at `at`; false (nothing drawn) when there is
    // none of `size`.
    bool DrawTo(QPainter& painter, QPoint at, const QRect& source, QSize size);

private:
    void run();

    const std::function<void()> finished_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;                  // under mutex_
    std::unique_ptr<GridFrame> waiting_; // under mutex_
    QSize waitingSize_;                  // under mutex_
    std::uint64_t waitingStamp_ = 0;     // under mutex_
    QImage ready_;                       // under mutex_: the newest finished picture
    QRegion readyChanged_;               // under mutex_: changed in ready_ since the last take
    std::uint64_t readyStamp_ = 0;       // under mutex_

    // The drawing thread's own.
    GridPainter painter_;
    QImage work_;
    std::unique_ptr<GridFrame> drawn_; // the state work_ shows

    std::thread thread_; // last: starts once everything above exists
};
