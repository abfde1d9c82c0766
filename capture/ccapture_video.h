#pragma once
// The camera behind the camera window: lists the video inputs, runs the chosen one with its live
// picture in a preview widget, and hands every frame to the process's frame receiver, which saves
// one when a grab has been requested.
#include "video_inputs.h"

#include <QObject>
#include <QString>

#include <memory>

class QCamera;
class QComboBox;
class QMediaCaptureSession;
class QVideoFrame;
class QVideoWidget;
class QWidget;

class CCaptureVideo : public QObject {
    Q_OBJECT

public:
    // `inputs` outlives the capture.
    explicit CCaptureVideo(const VideoInputs& inputs);
    ~CCaptureVideo() override; // stops the camera and releases it

    // Fills `list` with the video inputs' descriptions; their number, or -1 with no list or no input.
    int EnumDevices(QComboBox* list);
    // Starts input `index` with its picture in `preview`: 0 on success; 1 without a message for an
    // index that names no input, or an input the video stack no longer has; otherwise the failing
    // step's code after its message.
    int Init(int index, QWidget* preview);
    // Fits the picture to the preview's client area; nothing before Init.
    void ResizeVideoWindow();
    void RequestGrab(bool on);

    // Shown once when the camera reports an error after starting.
    static constexpr const char* RUN_FAILED = "Couldn\u2019t run the graph!";
    static constexpr const char* BUILD_FAILED = "Can\u2019t build the graph";

private:
    void OnFrame(const QVideoFrame& frame);

    const VideoInputs& inputs_;
    QWidget* preview_ = nullptr;
    std::unique_ptr<QMediaCaptureSession> session_;
    std::unique_ptr<QCamera> camera_;
    QVideoWidget* videoWindow_ = nullptr; // a child of the preview
    bool errorShown_ = false;
};
