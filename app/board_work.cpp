// The window's board work off the UI thread, and the status bar that says what the boards are
// doing, how the shift is going, and which station and configuration these are.
#include "cvorlaine_dlg.h"

#include "line_forwarder.h"

#include <QFileInfo>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QLayout>
#include <QProgressBar>
#include <QStatusBar>

#include <utility>

namespace {
constexpr int STATUS_REFRESH_MS = 200;
// Work that takes longer than this shows a progress bar.
constexpr auto PROGRESS_AFTER = std::chrono::milliseconds(500);
} // namespace

bool CVorlaineDlg::RunOnBoards(BoardWork kind, std::function<void()> job, std::function<void()> done, bool cancellable)
{
    if (closing_ || (kind == BoardWork::Command && BoardsBusy()))
        return false;
    ++boardWork_;
    UpdateBoardCommands();
    boardJobs_.Post(
        [this, job = std::move(job), done = std::move(done)]() mutable {
            job();
            EndActivity();
            mailbox_.Post([this, done = std::move(done)] {
                --boardWork_;
                if (done && !closing_)
                    done();
                UpdateBoardCommands();
            });
        },
        cancellable);
    return true;
}

void CVorlaineDlg::ReportActivity(const QString& text, int done, int total)
{
    std::lock_guard lock(activityMutex_);
    if (activityText_.isEmpty())
        activitySince_ = std::chrono::steady_clock::now();
    activityText_ = text;
    activityDone_ = done;
    activityTotal_ = total;
}

void CVorlaineDlg::EndActivity()
{
    std::lock_guard lock(activityMutex_);
    activityText_.clear();
    activityDone_ = activityTotal_ = 0;
}

QString CVorlaineDlg::BoardActivityText() const
{
    std::lock_guard lock(activityMutex_);
    if (activityText_.isEmpty())
        return {};
    // The engine speaks in the Chinese source texts; shown in the chosen language.
    const QString text = QCoreApplication::translate("activity", activityText_.toUtf8().constData());
    return activityTotal_ > 0 ? QStringLiteral("%1 %2/%3").arg(text).arg(activityDone_).arg(activityTotal_) : text;
}

void CVorlaineDlg::OnBoardActivity(const QString& text)
{
    ReportActivity(text);
}

void CVorlaineDlg::UpdateBoardCommands()
{
    // Menus update their items as they open; a menu open right now follows here.
    for (QMenu* menu : findChildren<QMenu*>())
        if (menu->isVisible())
            OnInitMenuPopup(menu);
}

void CVorlaineDlg::SetUpStatusBar()
{
    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName(QStringLiteral("statusBar"));
    statusBar_->setSizeGripEnabled(false);
    statusBar_->setFont(QApplication::font()); // the system's size, not the dialog font
    activityLabel_ = new QLabel(statusBar_);
    activityLabel_->setObjectName(QStringLiteral("boardActivity"));
    activityProgress_ = new QProgressBar(statusBar_);
    activityProgress_->setObjectName(QStringLiteral("boardProgress"));
    activityProgress_->setMaximumWidth(160);
    activityProgress_->setTextVisible(false);
    // No taller than the texts: a status bar that grows would cover the grid's bottom.
    activityProgress_->setMaximumHeight(activityLabel_->sizeHint().height());
    activityLabel_->hide();
    activityProgress_->hide();
    recordsStatus_ = new QLabel(statusBar_);
    recordsStatus_->setObjectName(QStringLiteral("recordsStatus"));
    // Texts in the status bar never widen the window: they are cut, whole in their tooltips.
    recordsStatus_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    recordsWarning_ = new QLabel(statusBar_);
    recordsWarning_->setObjectName(QStringLiteral("recordsWarning"));
    recordsWarning_->setStyleSheet(QStringLiteral("QLabel { color: #c00000; font-weight: bold; }"));
    recordsWarning_->setTextInteractionFlags(Qt::TextSelectableByMouse); // the spill path can be copied
    recordsWarning_->setMinimumWidth(1);
    recordsWarning_->hide();
    stationLabel_ = new QLabel(statusBar_);
    stationLabel_->setObjectName(QStringLiteral("stationName"));
    configurationLabel_ = new QLabel(statusBar_);
    configurationLabel_->setObjectName(QStringLiteral("configurationFile"));
    configurationLabel_->setMinimumWidth(1);
    statusBar_->addWidget(activityLabel_);
    statusBar_->addWidget(activityProgress_);
    statusBar_->addWidget(recordsStatus_, 1);
    statusBar_->addWidget(recordsWarning_);
    lineLabel_ = new QLabel(statusBar_);
    lineLabel_->setObjectName(QStringLiteral("lineStatus"));
    lineLabel_->hide();
    statusBar_->addPermanentWidget(lineLabel_);
    statusBar_->addPermanentWidget(stationLabel_);
    statusBar_->addPermanentWidget(configurationLabel_);
    layout()->addWidget(statusBar_);

    statusTimer_.setInterval(STATUS_REFRESH_MS);
    connect(&statusTimer_, &QTimer::timeout, this, [this] { UpdateStatusBar(); });
    statusTimer_.start();
}

void CVorlaineDlg::UpdateStatusBar()
{
    if (!statusBar_)
        return;
    QString text;
    int done = 0, total = 0;
    bool longRunning = false;
    {
        std::lock_guard lock(activityMutex_);
        done = activityDone_;
        total = activityTotal_;
        longRunning = !activityText_.isEmpty() && std::chrono::steady_clock::now() - activitySince_ >= PROGRESS_AFTER;
    }
    text = BoardActivityText();
    activityLabel_->setText(text);
    activityLabel_->setVisible(!text.isEmpty());
    if (longRunning || (BoardsBusy() && !text.isEmpty() && activityProgress_->isVisible())) {
        activityProgress_->setRange(0, total); // no count: a busy indicator
        activityProgress_->setValue(done);
        activityProgress_->show();
    } else {
        activityProgress_->hide();
    }
    if (lineForwarder) {
        // The line's dashboard shows what the station is doing.
        lineForwarder->SetStationState(engine.emergencyStop ? "e-stop" : engine.WorkerRunning() ? "running" : "idle");
        const QString lineText = LineStatusText();
        if (lineLabel_->text() != lineText) {
            lineLabel_->setText(lineText);
            const bool trouble = lineForwarder->Status().state == LineStatus::State::Unreachable;
            lineLabel_->setStyleSheet(trouble ? QStringLiteral("QLabel { color: #c00000; }") : QString());
        }
        lineLabel_->show();
    }
    const QString configuration = configurationName_.isEmpty() ? tr("无配置文件") : configurationName_;
    if (configurationLabel_->text() != configuration) {
        configurationLabel_->setText(configuration);
        configurationLabel_->setToolTip(configuration);
    }
}
