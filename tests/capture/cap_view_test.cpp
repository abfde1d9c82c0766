// The camera window without a camera: an empty list, an empty frame, no message; grabs from its
// button and F12 reach the receiver and show on its status line.
#include "cdialog_cap_view.h"
#include "csample_grabber_cb.h"
#include "message_boxes.h"
#include "wait_until.h"

#include <QComboBox>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

TEST(CaptureVideo, NoCameraGivesNoDevicesAndASilentInit)
{
    CCaptureVideo capture;
    QComboBox list;
    QWidget preview;
    EXPECT_EQ(capture.EnumDevices(nullptr), -1);
    EXPECT_EQ(capture.EnumDevices(&list), -1);
    EXPECT_EQ(list.count(), 0);
    int result = 0;
    EXPECT_TRUE(messagesDuring([&] { result = capture.Init(-1, &preview); }).isEmpty());
    EXPECT_EQ(result, 1);
    EXPECT_EQ(capture.Init(5, &preview), 1);
    capture.ResizeVideoWindow(); // nothing before a successful Init
}

TEST(CapView, OpensOnAnEmptyFrameAndGrabsFromItsButtonAndF12)
{
    QTemporaryDir dir;
    sampleGrabberCallback.SetFolder(dir.path());
    grabRequested = 0;
    std::unique_ptr<CDialogCapView> view;
    EXPECT_TRUE(messagesDuring([&] { view = std::make_unique<CDialogCapView>(); }).isEmpty());
    EXPECT_EQ(view->windowTitle(), QString::fromUtf8("摄像头抓取"));
    EXPECT_EQ(view->deviceList->count(), 0);
    EXPECT_TRUE(view->preview->findChildren<QWidget*>().isEmpty()) << "no video: an empty frame";

    // The preview keeps its margins inside the window.
    view->resize(500, 400);
    view->OnSize();
    EXPECT_EQ(view->preview->geometry(), QRect(10, 40, 475, 335));

    QTest::keyClick(view.get(), Qt::Key_F12);
    EXPECT_EQ(grabRequested.load(), 1);
    QImage frame(32, 24, QImage::Format_RGB32);
    frame.fill(Qt::red);
    sampleGrabberCallback.BufferCB(frame); // as the video stack would deliver it
    auto* status = qobject_cast<QLabel*>(view->Control(CDialogCapView::IDC_STATUS));
    EXPECT_TRUE(waitUntil([&] { return status->text().contains("grab0.bmp"); })) << status->text().toStdString();
}

} // namespace
