#pragma once
// The one frame receiver of the process. Frames arrive on the video stack's own thread; when a
// grab has been requested, the next one is written as "grab%d.bmp" and the request is cleared,
// whether or not the file could be written. The request flag and the frame size are atomics; the
// folder and the counter belong to the receiving thread, and the outcome of the last grab is kept
// under a lock for the window to show.
#include <QImage>
#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>

class CSampleGrabberCB {
public:
    // `folder` ends without a separator; the counter starts after the highest "grab%d.bmp" in it.
    // Numbers stop at INT_MAX: after it, a grab is refused with a message.
    void SetFolder(const QString& folder);
    QString Folder() const;

    // Called for every frame, on any thread.
    void BufferCB(const QImage& frame);

    std::atomic<int> width{0};
    std::atomic<int> height{0};

    struct GrabOutcome {
        std::uint64_t serial = 0; // grows by one per grab
        QString text;            // the file written, or why nothing was
    };
    GrabOutcome LastGrab() const;
    // Withdraws a pending grab with `why` as its outcome; false when no grab was pending (a frame
    // came first). Exclusive with the writing of a grab, so a grab is either written or cancelled.
    bool CancelGrab(const QString& why);

private:
    static std::int64_t NextCounter(const QString& folder);

    mutable std::mutex mutex_; // folder, counter, outcome
    QString folder_;
    std::int64_t counter_ = 0; // past INT_MAX once the last number is used: no grab is written then
    GrabOutcome last_;
};

extern CSampleGrabberCB sampleGrabberCallback;
extern std::atomic<int> grabRequested;

// Where grabs go: the executable's folder when it can be written, else the pictures folder's
// "Vorlaine" (created when needed).
QString DefaultGrabFolder();
