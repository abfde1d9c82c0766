#include "csample_grabber_cb.h"

#include "bitmap_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>
#include <climits>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

CSampleGrabberCB sampleGrabberCallback;
std::atomic<int> grabRequested{0};

namespace {
// Writes all of `bytes` to a new file; an existing file of that name is never replaced.
int WriteNewFile(const QString& path, const std::vector<std::uint8_t>& bytes)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            return err;
        }
        done += static_cast<std::size_t>(n);
    }
    return ::close(fd) == 0 ? 0 : errno;
}
} // namespace

void CSampleGrabberCB::SetFolder(const QString& folder)
{
    const std::int64_t next = NextCounter(folder);
    std::lock_guard lock(mutex_);
    folder_ = folder;
    counter_ = next;
}

QString CSampleGrabberCB::Folder() const
{
    std::lock_guard lock(mutex_);
    return folder_;
}

// Numbering goes on after the grabs already there, so a new run never replaces an earlier picture.
std::int64_t CSampleGrabberCB::NextCounter(const QString& folder)
{
    static const QRegularExpression name(QStringLiteral("^grab(\\d+)\\.bmp$"));
    std::int64_t next = 0;
    for (const QString& entry : QDir(folder).entryList(QDir::Files)) {
        const QRegularExpressionMatch m = name.match(entry);
        bool ok = false;
        const int n = m.hasMatch() ? m.captured(1).toInt(&ok) : -1;
        if (ok && n >= next)
            next = std::int64_t{n} + 1;
    }
    return next;
}

void CSampleGrabberCB::BufferCB(const QImage& frame)
{
    width = frame.width();
    height = frame.height();
    if (grabRequested.load() == 0)
        return;
    const std::vector<std::uint8_t> bytes = BitmapFileBytes(frame);
    {
        std::lock_guard lock(mutex_);
        if (grabRequested.load() == 0)
            return; // cancelled while the frame was converted
        QString text;
        if (bytes.empty()) {
            text = QCoreApplication::translate("CSampleGrabberCB", "抓图失败：没有图像");
        } else {
            QDir().mkpath(folder_);
            int err = EEXIST;
            QString path;
            // A file of the next number that appeared meanwhile is skipped, not replaced.
            for (int attempt = 0; attempt < 1000 && err == EEXIST && counter_ <= INT_MAX; ++attempt) {
                path = QDir(folder_).filePath(QStringLiteral("grab%1.bmp").arg(counter_));
                ++counter_;
                err = WriteNewFile(path, bytes);
            }
            if (err == EEXIST && counter_ > INT_MAX)
                text = QCoreApplication::translate("CSampleGrabberCB", "抓图失败：%1 中已没有空闲的编号（grab%2.bmp 已用）")
                           .arg(folder_, QString::number(INT_MAX));
            else if (err == 0)
                text = QCoreApplication::translate("CSampleGrabberCB", "已保存 %1").arg(path);
            else
                text = QCoreApplication::translate("CSampleGrabberCB", "抓图失败：%1：%2")
                           .arg(path, QString::fromLocal8Bit(std::strerror(err)));
        }
        ++last_.serial;
        last_.text = text;
        grabRequested = 0;
    }
}

bool CSampleGrabberCB::CancelGrab(const QString& why)
{
    std::lock_guard lock(mutex_);
    if (grabRequested.load() == 0)
        return false;
    grabRequested = 0;
    ++last_.serial;
    last_.text = why;
    return true;
}

CSampleGrabberCB::GrabOutcome CSampleGrabberCB::LastGrab() const
{
    std::lock_guard lock(mutex_);
    return last_;
}

QString DefaultGrabFolder()
{
    const QString exe = QCoreApplication::applicationDirPath();
    if (!exe.isEmpty() && QFileInfo(exe).isWritable())
        return exe;
    QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (pictures.isEmpty())
        pictures = QDir::home().filePath(QStringLiteral("Pictures"));
    return QDir(pictures).filePath(QStringLiteral("Vorlaine"));
}
