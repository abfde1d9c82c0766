#include "ccapture_video.h"

#include "csample_grabber_cb.h"

#include <QCamera>
#include <QComboBox>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QMessageBox>
#include <QVideoFrame>
#include <QVideoSink>
#include <QVideoWidget>

#include <algorithm>

namespace {
void ShowFailure(QWidget* parent, const char* text)
{
    QMessageBox box(QMessageBox::NoIcon, QString(), QString::fromUtf8(text), QMessageBox::Ok, parent);
    box.exec();
}
} // namespace

CCaptureVideo::CCaptureVideo(const VideoInputs& inputs) : inputs_(inputs) {}

CCaptureVideo::~CCaptureVideo()
{
    if (camera_)
        camera_->stop();
    if (videoWindow_ != nullptr) {
        videoWindow_->hide();
        delete videoWindow_;
    }
    session_.reset();
    camera_.reset();
}

int CCaptureVideo::EnumDevices(QComboBox* list)
{
    if (list == nullptr)
        return -1;
    const QList<VideoInput> inputs = inputs_.List();
    if (inputs.isEmpty())
        return -1;
    for (const VideoInput& input : inputs)
        list->addItem(input.description, input.id);
    return static_cast<int>(inputs.size());
}

int CCaptureVideo::Init(int index, QWidget* preview)
{
    const QList<VideoInput> inputs = inputs_.List();
    if (index < 0 || index >= inputs.size())
        return 1;
    // The list may be older than the video stack's: a camera unplugged meanwhile is not started.
    const QList<QCameraDevice> devices = QMediaDevices::videoInputs();
    const auto device = std::find_if(devices.begin(), devices.end(),
                                     [&](const QCameraDevice& d) { return d.id() == inputs[index].id; });
    if (device == devices.end())
        return 1;
    preview_ = preview;
    camera_ = std::make_unique<QCamera>(*device);
    if (!camera_->isAvailable()) {
        ShowFailure(preview, BUILD_FAILED);
        return 2;
    }
    session_ = std::make_unique<QMediaCaptureSession>();
    session_->setCamera(camera_.get());
    videoWindow_ = new QVideoWidget(preview);
    session_->setVideoOutput(videoWindow_);
    // Frames reach the receiver on whatever thread the video stack delivers them.
    connect(videoWindow_->videoSink(), &QVideoSink::videoFrameChanged, this,
            [this](const QVideoFrame& frame) { OnFrame(frame); }, Qt::DirectConnection);
    connect(camera_.get(), &QCamera::errorOccurred, this, [this](QCamera::Error error, const QString&) {
        if (error != QCamera::NoError && !errorShown_) {
            errorShown_ = true;
            ShowFailure(preview_, RUN_FAILED);
        }
    });
    ResizeVideoWindow();
    videoWindow_->show();
    camera_->start();
    if (camera_->error() != QCamera::NoError && !errorShown_) {
        errorShown_ = true;
        ShowFailure(preview, RUN_FAILED);
        return 3;
    }
    return 0;
}

void CCaptureVideo::ResizeVideoWindow()
{
    if (videoWindow_ != nullptr && preview_ != nullptr)
        videoWindow_->setGeometry(preview_->contentsRect());
}

void CCaptureVideo::RequestGrab(bool on)
{
    grabRequested = on ? 1 : 0;
}

void CCaptureVideo::OnFrame(const QVideoFrame& frame)
{
    // Converting costs about a millisecond; only a requested grab needs the pixels.
    if (grabRequested.load() == 0) {
        sampleGrabberCallback.width = frame.width();
        sampleGrabberCallback.height = frame.height();
        return;
    }
    sampleGrabberCallback.BufferCB(frame.toImage());
}
