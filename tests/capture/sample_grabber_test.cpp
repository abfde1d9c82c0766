// The frame receiver: a requested grab saves the next frame, numbered after the grabs already in
// the folder; frames from another thread and requests from this one do not race.
#include "bitmap_file.h"
#include "csample_grabber_cb.h"
#include "wait_until.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

struct SampleGrabber : ::testing::Test {
    QTemporaryDir dir;
    QImage frame = QImage(64, 48, QImage::Format_RGB32);

    void SetUp() override
    {
        frame.fill(qRgb(10, 20, 30));
        grabRequested = 0;
        sampleGrabberCallback.SetFolder(dir.path());
    }
    QStringList grabs() const
    {
        return QDir(dir.path()).entryList({QStringLiteral("grab*.bmp")}, QDir::Files, QDir::Name);
    }
};

TEST_F(SampleGrabber, EachRequestSavesOneFrameAfterTheGrabsAlreadyThere)
{
    // An earlier shift's picture stays: numbering goes on after it.
    QFile earlier(dir.filePath("grab7.bmp"));
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier");
    earlier.close();
    sampleGrabberCallback.SetFolder(dir.path());

    for (int i = 0; i < 20; ++i)
        sampleGrabberCallback.BufferCB(frame);
    EXPECT_EQ(grabs(), QStringList{"grab7.bmp"}) << "no request, no file";

    for (int i = 0; i < 2; ++i) {
        grabRequested = 1;
        sampleGrabberCallback.BufferCB(frame);
        sampleGrabberCallback.BufferCB(frame);
        EXPECT_EQ(grabRequested.load(), 0);
    }
    EXPECT_EQ(grabs(), (QStringList{"grab7.bmp", "grab8.bmp", "grab9.bmp"}));
    QFile kept(dir.filePath("grab7.bmp"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "earlier");
    QFile grabbed(dir.filePath("grab9.bmp"));
    EXPECT_EQ(grabbed.size(), static_cast<qint64>(BitmapFileBytes(frame).size()));
    EXPECT_TRUE(sampleGrabberCallback.LastGrab().text.contains("grab9.bmp"));
}

// Numbers end at the largest int: past it a grab is refused with a message, never numbered below
// zero and reported as saved.
TEST_F(SampleGrabber, NumberingStopsAtTheLargestNumber)
{
    QFile last(dir.filePath("grab2147483646.bmp"));
    ASSERT_TRUE(last.open(QIODevice::WriteOnly));
    last.close();
    sampleGrabberCallback.SetFolder(dir.path());

    grabRequested = 1;
    sampleGrabberCallback.BufferCB(frame);
    EXPECT_TRUE(sampleGrabberCallback.LastGrab().text.contains("grab2147483647.bmp"));
    for (int i = 0; i < 2; ++i) {
        grabRequested = 1;
        sampleGrabberCallback.BufferCB(frame);
        EXPECT_EQ(grabRequested.load(), 0);
        const QString text = sampleGrabberCallback.LastGrab().text;
        EXPECT_TRUE(text.contains(QString::fromUtf8("没有空闲的编号"))) << text.toStdString();
        EXPECT_TRUE(text.contains(dir.path())) << text.toStdString();
    }
    EXPECT_EQ(grabs().join(' ').toStdString(), "grab2147483646.bmp grab2147483647.bmp");

    // A folder that already holds the last number has none free either.
    ASSERT_TRUE(QFile::remove(dir.filePath("grab2147483646.bmp")));
    sampleGrabberCallback.SetFolder(dir.path());
    grabRequested = 1;
    sampleGrabberCallback.BufferCB(frame);
    EXPECT_EQ(grabs().join(' ').toStdString(), "grab2147483647.bmp");
}

TEST_F(SampleGrabber, AFolderThatCannotBeWrittenClearsTheRequestAndTheNextGrabWorks)
{
    const QString blocked = dir.filePath("shots");
    QFile blocker(blocked);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    sampleGrabberCallback.SetFolder(blocked);

    grabRequested = 1;
    sampleGrabberCallback.BufferCB(frame);
    EXPECT_EQ(grabRequested.load(), 0);
    EXPECT_TRUE(sampleGrabberCallback.LastGrab().text.contains(QString::fromUtf8("失败")));

    ASSERT_TRUE(QFile::remove(blocked));
    ASSERT_TRUE(QDir().mkpath(blocked));
    grabRequested = 1;
    sampleGrabberCallback.BufferCB(frame);
    EXPECT_EQ(QDir(blocked).entryList(QDir::Files).size(), 1);
}

TEST_F(SampleGrabber, RequestsFromThisThreadWhileFramesArriveFromAnother)
{
    std::atomic<bool> running{true};
    std::thread stream([&] {
        QImage own = frame.copy();
        while (running)
            sampleGrabberCallback.BufferCB(own);
    });
    for (int i = 0; i < 5; ++i) {
        grabRequested = 1;
        ASSERT_TRUE(waitUntil([] { return grabRequested.load() == 0; }));
        EXPECT_GT(sampleGrabberCallback.width.load(), 0);
    }
    running = false;
    stream.join();
    EXPECT_EQ(grabs().size(), 5);
}

} // namespace
