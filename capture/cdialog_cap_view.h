#pragma once
// The camera window: the live picture of a video input, the list of inputs to choose from, and
// grabs of single frames as bitmap files ("抓图" or F12), with the outcome on its status line.
// Without a camera it says so and offers neither "Init" nor "抓图" until one is plugged in; a grab
// that gets no frame in time is cancelled. Closing it (close box, Escape, Enter) hides it and tells
// the owner, which then lets it go.
#include "ccapture_video.h"

#include <QDialog>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <memory>

class QComboBox;
class QFrame;
class QLabel;

class CDialogCapView final : public QDialog {
    Q_OBJECT

public:
    enum ControlId {
        IDC_PREVIEW = 1060,
        IDC_DEVICE_LIST = 1058,
        IDC_INIT = 1059,
        IDC_GRAB = 1062,
        IDC_STATUS = 1063,
        IDC_OK = 1,
        IDC_CANCEL = 2,
    };

    // Offers `inputs`, else the system's cameras.
    explicit CDialogCapView(QWidget* parent = nullptr, std::unique_ptr<VideoInputs> inputs = nullptr);
    ~CDialogCapView() override;

    void OnInitDialog();
    void OnInitButton();
    void OnGrab();
    void OnSize();
    void OnInputsChanged();
    QWidget* Control(int id) const;

    std::unique_ptr<VideoInputs> videoInputs; // before `capture`, which reads it
    std::unique_ptr<CCaptureVideo> capture;
    QFrame* preview = nullptr;
    QComboBox* deviceList = nullptr;
    QLabel* noCamera = nullptr; // over the preview while there is no camera
    // A grab that gets no frame in this time is cancelled.
    std::chrono::milliseconds grabTimeout{2000};

signals:
    // The window closed itself; its owner clears its check mark and lets it go.
    void closedByUser();

public slots:
    void accept() override { hideByUser(); }
    void reject() override { hideByUser(); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void hideByUser();
    void ShowLastGrab();
    void EnableForInputs();

    QLabel* status_ = nullptr;
    QTimer outcomeTimer_;
    QTimer grabTimer_;
    std::uint64_t shownGrab_ = 0;
};
