#include "cvorlaine_dlg.h"

#include "command_ids.h"
#include "device_monitor.h"
#include "line_forwarder.h"
#include "cdialog_cap_view.h"
#include "dialog_units.h"
#include "main_menu.h"
#include "page_table.h"
#include "release_history.h"
#include "station_recorder.h"

#include <QCoreApplication>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>
#include <utility>

namespace {
// What the Windows frame adds around the client area; used where the frame is not known
// (no window manager), so that the grid keeps its margins.
constexpr int FALLBACK_FRAME = 8;
constexpr int FALLBACK_CAPTION = 23;
// A board that left a read unanswered during its initialisation gets another pass this much later.
constexpr int INIT_RETRY_MS = 1000;

// Commands that talk to the boards: refused while other board work is outstanding.
bool NeedsBoards(int id)
{
    if (id == ID_ABOUT || id == ID_FILE_LOAD || id == ID_FILE_LOAD_OLD)
        return true;
    return std::find(std::begin(DEVICE_TYPE_COMMANDS), std::end(DEVICE_TYPE_COMMANDS), id) !=
           std::end(DEVICE_TYPE_COMMANDS);
}

KeyboardCode::Key KeyOf(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return KeyboardCode::Key::Enter;
    case Qt::Key_Space:
        return KeyboardCode::Key::Space;
    case Qt::Key_Escape:
        return KeyboardCode::Key::Escape;
    case Qt::Key_Backspace:
        return KeyboardCode::Key::Backspace;
    default:
        return KeyboardCode::Key::Other;
    }
}
} // namespace

DisplayOptions& GridDisplay()
{
    static DisplayOptions options;
    return options;
}

CVorlaineDlg::CVorlaineDlg(HidBackend& backend, EventSourceFactory eventSource, QWidget* parent, int deviceType)
    : QDialog(parent), icon(QStringLiteral(":/vorlaine/icon.png")), engine(backend, grid, *this),
      eventSourceFactory_(std::move(eventSource)), startDeviceType_(deviceType)
{
    setWindowTitle(QStringLiteral("Vorlaine"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);
    // The window holds the keyboard focus itself (no control takes it), so that leaving the menu
    // bar's keyboard mode gives the focus back to the window.
    setFocusPolicy(Qt::StrongFocus);
    setFont(DialogFont());
    resize(DialogUnitsToPixels(QRect(0, 0, 213, 133)).size());

    auto* bar = new QMenuBar(this);
    BuildMainMenu(bar);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setMenuBar(bar);
    layout->addStretch();
    for (QMenu* menu : bar->findChildren<QMenu*>())
        connect(menu, &QMenu::aboutToShow, this, [this, menu] { OnInitMenuPopup(menu); });
    for (QAction* action : bar->findChildren<QAction*>()) {
        const QVariant id = action->property("commandId");
        if (id.isValid())
            connect(action, &QAction::triggered, this, [this, n = id.toInt()] { OnCommand(n); });
    }

    // The grid's placeholder: a sunken static control with id 1000.
    auto* placeholder = new QFrame(this);
    placeholder->setProperty("controlId", static_cast<int>(IDC_GRID));
    placeholder->setFrameStyle(QFrame::Box | QFrame::Sunken);
    placeholder->setGeometry(DialogUnitsToPixels(QRect(7, 7, 199, 119)));

    commands_ = {
        {ID_APP_EXIT, [this] { close(); }},
        {ID_ABOUT, [this] { ShowBoardInformation(); }},
        {ID_VIDEO_WINDOW, [this] { OnVideoWindow(); }},
        {ID_FILE_LOAD, [this] { LoadConfiguration(); }},
        {ID_FILE_SAVE, [this] { SaveConfiguration(); }},
        {ID_FILE_LOAD_OLD, [this] { LoadOldConfiguration(); }},
        {ID_DEVICE_BASIC, [this] { OnDeviceType(0); }},
        {ID_DEVICE_MACHINE1, [this] { OnDeviceType(1); }},
        {ID_DEVICE_MACHINE2, [this] { OnDeviceType(2); }},
        {ID_DEVICE_MACHINE3, [this] { OnDeviceType(3); }},
        {ID_DEVICE_MACHINE4, [this] { OnDeviceType(4); }},
        {ID_DEVICE_MACHINE5, [this] { OnDeviceType(5); }},
        {ID_FPC_TEST, [this] { grid.SetFpcTestMode(grid.GetFpcTestMode() ? 0 : 1); }},
        {ID_CLEAR_GREEN_MARKS, [this] { grid.ClearHitMarks(); }},
        {ID_BUZZER_ON, [this] { engine.buzzerOn = engine.buzzerOn ? 0 : 1; }},
        {ID_BUZZER_INVERT, [this] { engine.buzzerInverted = engine.buzzerInverted ? 0 : 1; }},
        {ID_RECORDS_EXPORT, [this] { ExportTestRecords(); }},
        {ID_RECORDS_RESET, [this] { ResetYieldCounters(); }},
    };

    initRetry_.setSingleShot(true);
    initRetry_.setInterval(INIT_RETRY_MS);
    connect(&initRetry_, &QTimer::timeout, this, [this] {
        if (!closing_)
            ConnectBoards();
    });
    SetUpStatusBar();

    engine.master.SetAcknowledgeSink(this);
    SetUpRecording(); // before the first connection pass starts the worker
    connect(&grid, &CColorBar::clicked, this, [this](int id) {
        if (id == IDC_GRID)
            OnGridClicked();
    });
    OnInitDialog();
}

CVorlaineDlg::~CVorlaineDlg()
{
    // Closing normally has ended the board work; a window destroyed unclosed cuts it short.
    boardJobs_.Cancel();
    boardJobs_.Finish();
    engine.StopAcquisition(); // the worker uses the grid and the boards on every pass
    OnBoardsGone();
    recorder.reset(); // writes what is left while the window can still hear of a problem
    if (lineForwarder) // the last placements' records reach the line now if it is there
        lineForwarder->Flush(std::chrono::seconds(2));
    lineForwarder.reset(); // after the last records are stored; what it has not sent waits for the next start
    delete captureView;
}

bool CVorlaineDlg::OnInitDialog()
{
    RegisterHidNotification();
    captureView = nullptr;
    captureViewOpen = false;
    engine.running = 0;
    fpcMenuUnlocked = 1;
    grid.SetFpcTestMode(0);

    BuildReleaseHistory();

    engine.runoffAbsent = 1;
    engine.kelspireAbsent = 1;
    engine.masterAbsent = 1;
    engine.classicAbsent = 1;
    for (auto& item : engine.deviceTypes)
        item = DeviceTypeItem{};
    engine.deviceTypes[0].selected = 1;
    engine.SelectDeviceType(startDeviceType_);
    engine.SetMasterStationCount(0);
    engine.oemTag.clear();

    // The system menu's About entry lives in the Help menu here.
    if (QAction* help = ActionOf(ID_ABOUT)) {
        if (auto* menu = qobject_cast<QMenu*>(help->parent())) {
            menu->addSeparator();
            QAction* about = menu->addAction(tr("关于 Vorlaine(&A)..."));
            about->setProperty("sysCommand", static_cast<int>(ID_ABOUT));
            connect(about, &QAction::triggered, this, [this] { ShowAboutBox(); });
        }
    }

    setWindowIcon(icon);
    // Without a window manager a maximize request goes unanswered; fill the screen regardless.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        setGeometry(screen->availableGeometry());
    showMaximized();

    grid.AttachToDialogItem(IDC_GRID, this);
    const int rate = std::clamp(GridDisplay().repaintRate, 1, 100);
    grid.SetMaxRepaintRate(rate);
    grid.SetRefreshTimer(1000 / rate, true);
    grid.SetColumns(1);
    grid.SetRows(1);
    engine.MarkNothingMeasured(); // painted before the first connection pass has found anything

    InitPageTableDefaults();
    HandPagesToGrid();

    engine.runoffReady = 0;
    engine.kelspireReady = 0;
    engine.classicReady = 0;

    ConnectBoards();
    OnSize();
    return true;
}

void CVorlaineDlg::HandPagesToGrid()
{
    const int rows = grid.GetRows();
    const int columns = grid.GetColumns();
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const int p = PageOfCell(c, r, columns);
            if (p < 0)
                continue;
            PageChannels page;
            {
                std::lock_guard lock(pageTableLock());
                page = UnpackChannels(pageTable[p]);
            }
            grid.SetDataRange(c, r, page.dataMax, page.dataMin);
            grid.SetLowerLimits(c, r, page.thresholdLow.data());
            grid.SetUpperLimits(c, r, page.thresholdHigh.data());
            grid.SetReference(c, r, page.refData.data());
            grid.SetChannelStates(c, r, page.mask.data());
        }
    }
}

void CVorlaineDlg::RegisterHidNotification()
{
    eventSource_ = eventSourceFactory_ ? eventSourceFactory_() : UdevDeviceMonitor::Create();
    if (!eventSource_) {
        QMessageBox::information(this, QStringLiteral("Vorlaine"), QStringLiteral("RegisterDeviceNotification   failed"),
                                 QMessageBox::Ok);
        return;
    }
    connect(eventSource_.get(), &DeviceEventSource::deviceArrived, this, [this] { OnDeviceChange(true); });
    connect(eventSource_.get(), &DeviceEventSource::deviceRemoved, this, [this] { OnDeviceChange(false); });
}

void CVorlaineDlg::OnDeviceChange(bool arrival)
{
    if (closing_)
        return;
    if (arrival) {
        RunOnBoards(
            BoardWork::Event,
            [this] {
                engine.OnDeviceArrival();
                NoteRecordingBoard();
            },
            [this] { RetryInitIfPending(); }, true);
    } else {
        // The removal leaves the window disconnected until the next arrival, as it always has.
        ++removals_;
        initRetry_.stop();
        RunOnBoards(BoardWork::Event, [this] {
            engine.OnDeviceRemoval();
            knownDeviceIds_.clear();
            NoteRecordingBoard(); // no id of the gone board for the next connection's first records
        });
    }
}

void CVorlaineDlg::ConnectBoards()
{
    RunOnBoards(BoardWork::Event, [this] { ConnectBoardsOnBoardThread(); }, [this] { RetryInitIfPending(); }, true);
}

void CVorlaineDlg::ConnectBoardsOnBoardThread()
{
    engine.ConnectBoards();
    NoteRecordingBoard();
}

void CVorlaineDlg::RetryInitIfPending()
{
    if (engine.InitPending() && !closing_ && !initRetry_.isActive())
        initRetry_.start();
}

namespace {
// The engine's titles are the Chinese source texts; the window shows them in the chosen language.
QString ShownTitle(const QString& title)
{
    return QCoreApplication::translate("title", title.toUtf8().constData());
}
} // namespace

void CVorlaineDlg::SetTitle(const QString& title)
{
    if (QThread::currentThread() != thread()) { // a connection pass on the board thread
        mailbox_.Post([this, title] { setWindowTitle(ShownTitle(title)); });
        return;
    }
    setWindowTitle(ShownTitle(title));
}

void CVorlaineDlg::PostTitle(const QString& title, std::uint64_t generation)
{
    // The title crosses under our own lock and the queued call carries no data: ThreadSanitizer
    // cannot see the locking inside Qt's event queue, so a copy captured in a queued lambda would
    // be reported as a race. Titles posted before the call runs are coalesced; the latest wins.
    {
        std::lock_guard lock(postedTitleMutex_);
        postedTitle_ = title;
        postedGeneration_ = generation;
        if (std::exchange(titleCallQueued_, true))
            return;
    }
    QMetaObject::invokeMethod(this, "ApplyPostedTitle", Qt::QueuedConnection);
}

void CVorlaineDlg::ApplyPostedTitle()
{
    QString title;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(postedTitleMutex_);
        titleCallQueued_ = false;
        title = postedTitle_;
        generation = postedGeneration_;
    }
    // A worker stopped since it posted this (a removal, say) no longer speaks for the board.
    if (generation != engine.TitleGeneration())
        return;
    if (windowTitle() != ShownTitle(title))
        setWindowTitle(ShownTitle(title));
}

void CVorlaineDlg::ReportAccessDenied(const std::string& path)
{
    if (QThread::currentThread() != thread()) {
        mailbox_.Post([this, path] { ReportAccessDenied(path); });
        return;
    }
    // Called inside a connection pass: a nested event loop here would let a device event start
    // another pass, so the box opens without waiting for the operator.
    const QString text =
        tr("无法打开设备 %1：没有访问权限。\n\n"
                          "请安装随附的 udev 规则 resources/70-vorlaine.rules：\n\n"
                          "sudo cp resources/70-vorlaine.rules /etc/udev/rules.d/\n"
                          "sudo udevadm control --reload-rules && sudo udevadm trigger --subsystem-match=hidraw")
            .arg(QString::fromStdString(path));
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Vorlaine"), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse); // the commands can be copied
    box->open();
}

void CVorlaineDlg::ShowAcknowledge(const std::string& text)
{
    // Comes from the board thread: shown without holding it up.
    mailbox_.Post([this, text] {
        auto* box = new QMessageBox(QMessageBox::NoIcon, QString(), QString::fromStdString(text), QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
}

QAction* CVorlaineDlg::ActionOf(int id) const
{
    for (QAction* action : findChildren<QAction*>())
        if (action->property("commandId").toInt() == id)
            return action;
    return nullptr;
}

void CVorlaineDlg::OnCommand(int id)
{
    if (BoardsBusy() && NeedsBoards(id))
        return; // disabled in the menu meanwhile; a second press never queues it twice
    const auto it = commands_.find(id);
    if (it != commands_.end())
        it->second();
}

void CVorlaineDlg::OnDeviceType(int index)
{
    RunOnBoards(
        BoardWork::Command,
        [this, index] {
            engine.SelectDeviceType(index);
            ConnectBoardsOnBoardThread();
        },
        [this] { RetryInitIfPending(); }, true);
}

void CVorlaineDlg::UpdateItem(QAction* action)
{
    const int id = action->property("commandId").toInt();
    const bool boardsFree = !BoardsBusy() || !NeedsBoards(id);
    for (int i = 0; i < 6; ++i) {
        if (id == DEVICE_TYPE_COMMANDS[i]) {
            action->setCheckable(true);
            action->setChecked(engine.deviceTypes[i].selected != 0);
            action->setEnabled(boardsFree && (i == 0 || engine.deviceTypes[i].available != 0));
            return;
        }
    }
    if (!boardsFree) {
        action->setEnabled(false);
        return;
    }
    if (NeedsBoards(id))
        action->setEnabled(true);
    auto check = [action](bool on) {
        action->setCheckable(true);
        action->setChecked(on);
    };
    switch (id) {
    case ID_FPC_TEST:
        check(grid.GetFpcTestMode() != 0);
        action->setEnabled(fpcMenuUnlocked != 0);
        break;
    case ID_BUZZER_ON:
        check(engine.buzzerOn != 0);
        break;
    case ID_BUZZER_INVERT:
        check(engine.buzzerInverted != 0);
        break;
    case ID_VIDEO_WINDOW:
        check(captureViewOpen);
        break;
    default:
        break; // no update handler: the item keeps its state
    }
}

void CVorlaineDlg::OnInitMenuPopup(QMenu* popup)
{
    // Submenu entries are left alone; their own items are updated when they open.
    for (QAction* action : popup->actions())
        if (!action->isSeparator() && !action->menu())
            UpdateItem(action);
}

void CVorlaineDlg::keyPressEvent(QKeyEvent* event)
{
    // Here, not in an application-wide filter: a key reaches the window once, and only when the
    // widget with the focus has not taken it (the menu bar keeps Escape, arrows and Enter).
    const QString text = event->text();
    const char character = text.isEmpty() ? '\0' : static_cast<char>(text.at(0).unicode() & 0xFF);
    const KeyboardCode::Result result = keyboard_.OnKeyPress(KeyOf(event->key()), character);
    if (result.clearMarks)
        grid.ClearHitMarks();
    if (result.unlocked) {
        fpcMenuUnlocked = 1;
        QMessageBox box(QMessageBox::NoIcon, QString(), tr("使能FPC测试菜单已经解锁！"),
                        QMessageBox::Ok, this);
        box.exec();
    }
    if (result.consume)
        event->accept();
    else
        QDialog::keyPressEvent(event);
}

void CVorlaineDlg::OnVideoWindow()
{
    captureViewOpen = !captureViewOpen;
    if (captureViewOpen) {
        captureView = new CDialogCapView(); // no owner: a window of its own
        connect(captureView, &CDialogCapView::closedByUser, this, [this] {
            // Closed from its own frame: the menu's check mark follows, and the next choice
            // opens a fresh window. The window is still inside its own handler: let it go later.
            if (!captureViewOpen || captureView == nullptr)
                return;
            captureViewOpen = false;
            captureView->deleteLater();
            captureView = nullptr;
        });
        captureView->show();
        captureView->raise();
        captureView->activateWindow();
    } else {
        delete captureView; // its capture stops and lets the camera go
        captureView = nullptr;
    }
}

void CVorlaineDlg::OnClose()
{
    if (captureViewOpen)
        OnVideoWindow();
    // An initialisation in progress ends at its next command; downloads and writes the operator
    // confirmed still finish. Then the worker goes, so that its next pass cannot switch the
    // lamps on again, and the lamps go off.
    boardJobs_.Cancel();
    ++boardWork_;
    boardJobs_.Post([this] {
        engine.StopAcquisition();
        OnBoardsGone(); // a sensor still lying on the board is recorded as it stands
        if (engine.runoffAbsent == 0)
            engine.runoff.WriteOutputs(0, 0, 0, 0);
        mailbox_.Post([this] { --boardWork_; });
    });
}

void CVorlaineDlg::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (closing_)
        return;
    closing_ = true;
    initRetry_.stop();
    hide(); // at once; the boards are let go on the board thread
    OnClose();
    QDialog::done(QDialog::Rejected);
}

void CVorlaineDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    OnSize();
}

void CVorlaineDlg::OnSize()
{
    // The outer rectangle in client coordinates, deflated by 10 / 60 / 20 / 25, whose right and
    // bottom are taken as width and height. On Windows the menu bar belongs to the frame; here it
    // sits in the client area, so it counts as frame.
    const QRect frame = frameGeometry();
    const QRect inner = geometry();
    int left = inner.left() - frame.left();
    int top = inner.top() - frame.top();
    int right = frame.right() - inner.right();
    int bottom = frame.bottom() - inner.bottom();
    if (left == 0 && top == 0 && right == 0 && bottom == 0) {
        left = right = bottom = FALLBACK_FRAME;
        top = FALLBACK_FRAME + FALLBACK_CAPTION;
    }
    const int menuHeight = layout() && layout()->menuBar() ? layout()->menuBar()->sizeHint().height() : 0;
    top += menuHeight;
    // The status bar under the grid counts as frame too: the grid keeps its margins above it.
    const int statusHeight = statusBar_ ? statusBar_->sizeHint().height() : 0;
    const QRect outer(-left, -top, width() + left + right, height() - statusHeight + top + bottom);
    const int x = outer.left() + 10;
    const int y = outer.top() + 60;
    const int w = outer.left() + outer.width() - 20;  // right coordinate
    const int h = outer.top() + outer.height() - 25;  // bottom coordinate
    grid.setGeometry(x, y + menuHeight, std::max(w, 0), std::max(h - menuHeight, 0));
    update();
}
