#include "cdialog_cap_view.h"

#include "csample_grabber_cb.h"
#include "dialog_units.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

CDialogCapView::CDialogCapView(QWidget* parent, std::unique_ptr<VideoInputs> inputs)
    : QDialog(parent), videoInputs(inputs ? std::move(inputs) : SystemVideoInputs()),
      capture(std::make_unique<CCaptureVideo>(*videoInputs))
{
    setWindowTitle(tr("摄像头抓取"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    setSizeGripEnabled(true);
    resize(DialogUnitsToPixels(QRect(0, 0, 291, 244)).size());

    preview = PlaceControl(new QFrame(this), IDC_PREVIEW, QRect(5, 7, 279, 230));
    preview->setFrameStyle(QFrame::Box | QFrame::Sunken);
    preview->setStyleSheet(QStringLiteral("QFrame { background: black; }"));
    noCamera = new QLabel(tr("未找到摄像头"), preview);
    noCamera->setAlignment(Qt::AlignCenter);
    noCamera->setStyleSheet(QStringLiteral("QLabel { color: white; }"));
    noCamera->setGeometry(preview->contentsRect());
    // A station with two cameras chooses here; the list and "Init" stay visible.
    deviceList = PlaceControl(new QComboBox(this), IDC_DEVICE_LIST, QRect(5, 5, 115, 14));
    auto* init = PlaceControl(new QPushButton(QStringLiteral("Init"), this), IDC_INIT, QRect(125, 5, 50, 14));
    init->setAutoDefault(false);
    connect(init, &QPushButton::clicked, this, [this] { OnInitButton(); });
    auto* grab = PlaceControl(new QPushButton(tr("抓图"), this), IDC_GRAB, QRect(180, 5, 50, 14));
    grab->setAutoDefault(false);
    grab->setToolTip(QStringLiteral("F12"));
    connect(grab, &QPushButton::clicked, this, [this] { OnGrab(); });
    // The dialog's own OK and Cancel exist, hidden, as on every dialog of the program.
    PlaceControl(new QPushButton(QStringLiteral("OK"), this), IDC_OK, QRect(235, 5, 50, 14))->hide();
    PlaceControl(new QPushButton(QStringLiteral("Cancel"), this), IDC_CANCEL, QRect(180, 5, 50, 14))->hide();
    status_ = PlaceControl(new QLabel(this), IDC_STATUS, QRect(5, 232, 279, 10));

    if (sampleGrabberCallback.Folder().isEmpty())
        sampleGrabberCallback.SetFolder(DefaultGrabFolder());
    outcomeTimer_.setInterval(200);
    connect(&outcomeTimer_, &QTimer::timeout, this, [this] { ShowLastGrab(); });
    shownGrab_ = sampleGrabberCallback.LastGrab().serial;
    outcomeTimer_.start();
    grabTimer_.setSingleShot(true);
    connect(&grabTimer_, &QTimer::timeout, this, [this] {
        const QString why = tr("抓图已取消：%1 秒内没有收到图像")
                                .arg(QString::number(static_cast<double>(grabTimeout.count()) / 1000.0));
        if (sampleGrabberCallback.CancelGrab(why))
            ShowLastGrab();
    });
    connect(videoInputs.get(), &VideoInputs::changed, this, [this] { OnInputsChanged(); });
    OnInitDialog();
}

CDialogCapView::~CDialogCapView() = default;

void CDialogCapView::OnInitDialog()
{
    capture->EnumDevices(deviceList);
    if (deviceList->count() > 0)
        deviceList->setCurrentIndex(0);
    EnableForInputs();
    OnInitButton();
}

void CDialogCapView::OnInputsChanged()
{
    const bool hadNone = deviceList->count() == 0;
    const QVariant chosen = deviceList->currentData();
    deviceList->clear();
    capture->EnumDevices(deviceList);
    deviceList->setCurrentIndex(std::max(deviceList->findData(chosen), 0));
    EnableForInputs();
    // The first camera plugged in starts as it would have on opening; a running one is left alone.
    if (hadNone && deviceList->count() > 0)
        OnInitButton();
}

void CDialogCapView::EnableForInputs()
{
    const bool any = deviceList->count() > 0;
    Control(IDC_INIT)->setEnabled(any);
    Control(IDC_GRAB)->setEnabled(any);
    noCamera->setVisible(!any);
}

void CDialogCapView::OnInitButton()
{
    // Another input chosen: the previous one is stopped and released first.
    capture = std::make_unique<CCaptureVideo>(*videoInputs);
    capture->Init(deviceList->currentIndex(), preview);
}

void CDialogCapView::OnGrab()
{
    if (!Control(IDC_GRAB)->isEnabled())
        return; // F12 without a camera
    capture->RequestGrab(true);
    status_->setText(tr("等待下一帧……"));
    grabTimer_.start(grabTimeout);
}

// The preview keeps fixed margins inside the window's outer rectangle.
void CDialogCapView::OnSize()
{
    const QRect outer(frameGeometry().topLeft() - geometry().topLeft(), frameGeometry().size());
    preview->setGeometry(outer.adjusted(10, 40, -15, -25));
    noCamera->setGeometry(preview->contentsRect());
    capture->ResizeVideoWindow();
    status_->setGeometry(10, height() - 22, std::max(width() - 25, 0), 18);
    update();
}

void CDialogCapView::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    OnSize();
}

void CDialogCapView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F12) {
        OnGrab();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CDialogCapView::closeEvent(QCloseEvent* event)
{
    event->ignore();
    hideByUser();
}

void CDialogCapView::hideByUser()
{
    hide();
    emit closedByUser();
}

void CDialogCapView::ShowLastGrab()
{
    const CSampleGrabberCB::GrabOutcome last = sampleGrabberCallback.LastGrab();
    if (last.serial == shownGrab_)
        return;
    shownGrab_ = last.serial;
    status_->setText(last.text);
}

QWidget* CDialogCapView::Control(int id) const
{
    return FindControl(this, id);
}
