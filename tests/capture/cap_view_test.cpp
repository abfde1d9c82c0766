// The camera window on a list of inputs of the test's own: without a camera it says so and offers
// no "Init" nor "抓图"; a camera plugged in later is listed and the buttons come back; grabs from
// its button and F12 reach the receiver and show on its status line, and a grab that gets no frame
// is cancelled after its time-out.
#include "cdialog_cap_view.h"
#include "csample_grabber_cb.h"
#include "message_boxes.h"
#include "wait_until.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Inputs the video stack does not have: listed, never started.
struct FakeInputs final : VideoInputs {
    QList<VideoInput> inputs;
    QList<VideoInput> List() const override { return inputs; }
    void Set(QList<VideoInput> now)
    {
        inputs = std::move(now);
        emit changed();
    }
};

TEST(CaptureVideo, AnInputTheVideoStackLacksIsListedButStartsSilentlyNot)
{
    FakeInputs inputs;
    CCaptureVideo capture(inputs);
    QComboBox list;
    QWidget preview;
    EXPECT_EQ(capture.EnumDevices(nullptr), -1);
    EXPECT_EQ(capture.EnumDevices(&list), -1);
    EXPECT_EQ(list.count(), 0);
    int result = 0;
    EXPECT_TRUE(messagesDuring([&] { result = capture.Init(-1, &preview); }).isEmpty());
    EXPECT_EQ(result, 1);
    EXPECT_EQ(capture.Init(5, &preview), 1);

    inputs.inputs = {{"synthetic:0", "Bench camera"}};
    EXPECT_EQ(capture.EnumDevices(&list), 1);
    EXPECT_EQ(list.itemText(0), "Bench camera");
    EXPECT_TRUE(messagesDuring([&] { result = capture.Init(0, &preview); }).isEmpty());
    EXPECT_EQ(result, 1) << "unplugged before it could start";
    capture.ResizeVideoWindow(); // nothing before a successful Init
}

struct CapView : ::testing::Test {
    QTemporaryDir dir;
    FakeInputs* inputs = nullptr; // owned by the window
    std::unique_ptr<CDialogCapView> view;

    void SetUp() override
    {
        sampleGrabberCallback.SetFolder(dir.path());
        grabRequested = 0;
    }
    void open(QList<VideoInput> present)
    {
        auto owned = std::make_unique<FakeInputs>();
        owned->inputs = std::move(present);
        inputs = owned.get();
        EXPECT_TRUE(messagesDuring([&] { view = std::make_unique<CDialogCapView>(nullptr, std::move(owned)); })
                        .isEmpty());
    }
    bool noticeShown() const { return view->noCamera->isVisibleTo(view.get()); }
    bool enabled(int id) const { return view->Control(id)->isEnabled(); }
    QString status() const { return qobject_cast<QLabel*>(view->Control(CDialogCapView::IDC_STATUS))->text(); }
    static QImage redFrame()
    {
        QImage frame(32, 24, QImage::Format_RGB32);
        frame.fill(Qt::red);
        return frame;
    }
};

TEST_F(CapView, WithoutACameraSaysSoAndOffersNoButtonsUntilOneIsPluggedIn)
{
    open({});
    EXPECT_EQ(view->windowTitle(), QString::fromUtf8("摄像头抓取"));
    EXPECT_EQ(view->deviceList->count(), 0);
    EXPECT_TRUE(noticeShown());
    EXPECT_EQ(view->noCamera->text(), QString::fromUtf8("未找到摄像头"));
    EXPECT_FALSE(enabled(CDialogCapView::IDC_INIT));
    EXPECT_FALSE(enabled(CDialogCapView::IDC_GRAB));
    QTest::keyClick(view.get(), Qt::Key_F12);
    EXPECT_EQ(grabRequested.load(), 0) << "F12 waits for no frame that cannot come";

    // The preview keeps its margins inside the window, and the notice fills it.
    view->resize(500, 400);
    view->OnSize();
    EXPECT_EQ(view->preview->geometry(), QRect(10, 40, 475, 335));
    EXPECT_EQ(view->noCamera->geometry(), view->preview->contentsRect());

    inputs->Set({{"synthetic:0", "Bench camera"}, {"synthetic:1", "Second camera"}});
    EXPECT_EQ(view->deviceList->count(), 2);
    EXPECT_EQ(view->deviceList->currentText(), "Bench camera");
    EXPECT_FALSE(noticeShown());
    EXPECT_TRUE(enabled(CDialogCapView::IDC_INIT));
    EXPECT_TRUE(enabled(CDialogCapView::IDC_GRAB));

    // The choice survives another camera leaving; the last one leaving takes the buttons along.
    view->deviceList->setCurrentIndex(1);
    inputs->Set({{"synthetic:1", "Second camera"}});
    EXPECT_EQ(view->deviceList->currentText(), "Second camera");
    inputs->Set({});
    EXPECT_EQ(view->deviceList->count(), 0);
    EXPECT_TRUE(noticeShown());
    EXPECT_FALSE(enabled(CDialogCapView::IDC_INIT));
    EXPECT_FALSE(enabled(CDialogCapView::IDC_GRAB));
}

TEST_F(CapView, GrabsFromItsButtonAndF12)
{
    open({{"synthetic:0", "Bench camera"}});
    EXPECT_FALSE(noticeShown());
    QTest::keyClick(view.get(), Qt::Key_F12);
    EXPECT_EQ(grabRequested.load(), 1);
    EXPECT_EQ(status(), QString::fromUtf8("等待下一帧……"));
    sampleGrabberCallback.BufferCB(redFrame()); // as the video stack would deliver it
    EXPECT_TRUE(waitUntil([&] { return status().contains("grab0.bmp"); })) << status().toStdString();

    qobject_cast<QAbstractButton*>(view->Control(CDialogCapView::IDC_GRAB))->click();
    sampleGrabberCallback.BufferCB(redFrame());
    EXPECT_TRUE(waitUntil([&] { return status().contains("grab1.bmp"); })) << status().toStdString();
}

TEST_F(CapView, AGrabWithoutAFrameIsCancelledAfterItsTimeOut)
{
    open({{"synthetic:0", "Bench camera"}});
    view->grabTimeout = std::chrono::milliseconds(50);
    view->OnGrab();
    EXPECT_TRUE(waitUntil([&] { return grabRequested.load() == 0; })) << "the request is withdrawn";
    EXPECT_TRUE(waitUntil([&] { return status() == QString::fromUtf8("抓图已取消：0.05 秒内没有收到图像"); }))
        << status().toStdString();

    sampleGrabberCallback.BufferCB(redFrame()); // a frame after all, too late
    QTest::qWait(300);
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(status(), QString::fromUtf8("抓图已取消：0.05 秒内没有收到图像"));

    // A frame in time is written, and its grab is not cancelled afterwards.
    view->OnGrab();
    sampleGrabberCallback.BufferCB(redFrame());
    QTest::qWait(300);
    EXPECT_TRUE(status().contains("grab0.bmp")) << status().toStdString();
}

} // namespace
