// The main window with boards on the simulated bus and real threads: the worker's titles, removals
// in the middle of a pass, closing on a stalled board, nodes without access rights, retried
// initialisations.
#include "command_ids.h"
#include "cvorlaine_dlg.h"
#include "maker_domain.h"
#include "sim_bus.h"
#include "sim_device_events.h"
#include "sim_master_board.h"
#include "sim_runoff_board.h"
#include "wait_until.h"
#include "window_fixture.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;

const QString DISCONNECTED = QString::fromUtf8("设备已经断开");
const QString RUNOFF_TITLE = QString::fromUtf8("Drovane 设备已经连接");
const QString MASTER_TITLE = QString::fromUtf8("Drovane 脱机版本设备已经连接");

// Calls back when the object it watches is hidden.
class HideWatch final : public QObject {
public:
    explicit HideWatch(std::function<void()> onHide) : onHide_(std::move(onHide)) {}
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        if (event->type() == QEvent::Hide)
            onHide_();
        return false;
    }

private:
    std::function<void()> onHide_;
};

struct WindowOnBus : WindowFixture {
    int plugMaster(std::shared_ptr<SimMasterBoard> board = std::make_shared<SimMasterBoard>())
    {
        return bus.plug(SimMasterBoard::Identity(MAKER_DOMAIN), std::move(board));
    }
    bool titleBecomes(const QString& title)
    {
        return waitUntil([&] { return dlg->windowTitle() == title; });
    }
    QList<QMessageBox*> visibleBoxes() const
    {
        QList<QMessageBox*> shown;
        for (QMessageBox* box : dlg->findChildren<QMessageBox*>())
            if (box->isVisible())
                shown << box;
        return shown;
    }
    static void processEventsFor(std::chrono::milliseconds time)
    {
        (void)waitUntil([] { return false; }, time);
    }
};

// A hidden window paints nothing; the lamps must follow the sensor all the same.
TEST_F(WindowOnBus, LampsFollowTheSensorWhileTheWindowIsHidden)
{
    auto board = std::make_shared<SimRunoffBoard>();
    ChannelValues values{};
    values.fill(700);
    board->sensor().setFixed(values);
    bus.plug(SimRunoffBoard::Identity("merrowin-demo"), board);
    open();
    ASSERT_TRUE(waitUntil([&] { return board->outputs() == std::array<std::uint8_t, 4>{1, 0, 0, 0}; }));
    dlg->hide();
    values[12] = 1300;
    board->sensor().setFixed(values);
    EXPECT_TRUE(waitUntil([&] { return board->outputs() == std::array<std::uint8_t, 4>{0, 1, 0, 0}; }));
    EXPECT_EQ(dlg->grid.GetVerdict(0, 0), Fail);
}

// The offline master's worker posts its title from its own thread: a put-up title comes back.
TEST_F(WindowOnBus, TheOfflineMastersWorkerKeepsItsTitleUp)
{
    open();
    plugMaster();
    ASSERT_TRUE(titleBecomes(MASTER_TITLE));
    settle(); // the title comes as the initialisation starts, the grid's size from the board
    EXPECT_EQ(dlg->grid.GetColumns(), 2);
    EXPECT_EQ(dlg->grid.GetRows(), 2);
    dlg->setWindowTitle(QStringLiteral("Vorlaine"));
    EXPECT_TRUE(titleBecomes(MASTER_TITLE));
}

// Titles the worker posted after the board went away (it keeps passing until the removal is
// handled) arrive after the removal and must not bring the board back.
TEST_F(WindowOnBus, TitlesPostedAfterARemovalAreDropped)
{
    open();
    auto board = std::make_shared<SimMasterBoard>(std::vector<std::uint8_t>{0}); // one station: a quick init
    for (int round = 0; round < 50; ++round) {
        const int id = plugMaster(board);
        ASSERT_TRUE(titleBecomes(MASTER_TITLE)) << round;
        bus.unplug(id);
        // Over 250 ms the worker posts its title again; shorter waits catch it at other points.
        std::this_thread::sleep_for(std::chrono::milliseconds(70 * (round % 5)));
        ASSERT_TRUE(titleBecomes(DISCONNECTED)) << round;
        processEventsFor(30ms);
        ASSERT_EQ(dlg->windowTitle(), DISCONNECTED) << round;
    }
}

TEST_F(WindowOnBus, ClosingOnAStalledBoardHidesAtOnceAndWaitsForOneCommandAtMost)
{
    open();
    dlg->show();
    const int id = plugMaster();
    ASSERT_TRUE(titleBecomes(MASTER_TITLE));
    ASSERT_TRUE(waitUntil([&] { return dlg->engine.WorkerRunning(); }));
    constexpr auto STALL = 300ms;
    bus.setOutputStall(id, STALL); // every command of a pass now takes a stall
    std::this_thread::sleep_for(STALL / 3);

    bool workerRanWhenHidden = false;
    HideWatch watch([&] { workerRanWhenHidden = dlg->engine.WorkerRunning(); });
    dlg->installEventFilter(&watch);
    const auto start = std::chrono::steady_clock::now();
    dlg->close();
    dlg->removeEventFilter(&watch);
    EXPECT_TRUE(workerRanWhenHidden); // hidden before the worker was waited for
    EXPECT_TRUE(dlg->isHidden());
    settle(); // the board thread lets the boards go
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(dlg->engine.WorkerRunning());
    EXPECT_LT(took, 2 * STALL); // a whole pass would take eight stalls
}

// The 4 x 4 master's initialisation takes seconds; the window paints and answers meanwhile, and
// closing in the middle of it waits for one command at most.
TEST_F(WindowOnBus, ClosingDuringAnInitialisationEndsWithinOneCommand)
{
    std::vector<std::uint8_t> stations(16);
    for (std::size_t i = 0; i < stations.size(); ++i)
        stations[i] = static_cast<std::uint8_t>(i);
    plugMaster(std::make_shared<SimMasterBoard>(stations));
    const auto start = std::chrono::steady_clock::now();
    open(false);
    dlg->show();
    ASSERT_TRUE(waitUntil([&] { return dlg->BoardActivityText().contains(QString::fromUtf8("正在初始化")); }));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << "the window waited for the board";
    EXPECT_TRUE(dlg->BoardsBusy());
    // Painted while the board initialises: nothing measured, so nothing judged.
    processEventsFor(50ms);
    for (int r = 0; r < dlg->grid.GetRows(); ++r)
        for (int c = 0; c < dlg->grid.GetColumns(); ++c)
            EXPECT_FALSE(dlg->grid.GetCellTested(c, r)) << c << "," << r;
    EXPECT_EQ(dlg->grid.GetJudgedCellCount(), 0);
    processEventsFor(200ms);
    ASSERT_TRUE(dlg->BoardsBusy()) << "the initialisation ended before the close could cut it short";

    const auto closing = std::chrono::steady_clock::now();
    dlg->close();
    EXPECT_LT(std::chrono::steady_clock::now() - closing, 50ms) << "close waited for USB";
    settle();
    // One read's bound (100 ms) and the pause between two table reads, with room for a slow machine.
    EXPECT_LT(std::chrono::steady_clock::now() - closing, 600ms);
    EXPECT_FALSE(dlg->engine.WorkerRunning());
}

TEST_F(WindowOnBus, ANodeWithoutAccessRightsIsReportedOnceWithoutWaitingForTheOperator)
{
    open();
    // A box that waited for its answer would hold the arrival until this closes it.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        for (QMessageBox* box : visibleBoxes())
            box->close();
    });
    guard.start(3000);

    const int id = bus.plug(SimRunoffBoard::Identity("merrowin-demo"), std::make_shared<SimRunoffBoard>());
    bus.setAccessDenied(id, true); // before the window hears of the arrival
    ASSERT_TRUE(waitUntil([&] { return visibleBoxes().size() == 1; }, 2s));
    QMessageBox* box = visibleBoxes().front();
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Vorlaine"));
    EXPECT_TRUE(box->text().startsWith(QString::fromUtf8("无法打开设备 %1：没有访问权限。")
                                           .arg(QString::fromStdString(SimBus::pathOf(id)))))
        << box->text().toStdString();
    EXPECT_TRUE(box->text().contains(QStringLiteral("sudo cp resources/70-vorlaine.rules /etc/udev/rules.d/")));
    EXPECT_TRUE(box->text().contains(
        QStringLiteral("sudo udevadm control --reload-rules && sudo udevadm trigger --subsystem-match=hidraw")));
    settle();
    EXPECT_EQ(dlg->windowTitle(), DISCONNECTED);

    dlg->OnCommand(ID_DEVICE_BASIC); // another connection pass
    settle();
    EXPECT_EQ(visibleBoxes().size(), 1);
    EXPECT_EQ(dlg->findChildren<QMessageBox*>().size(), 1);
    EXPECT_EQ(dlg->windowTitle(), DISCONNECTED);
}

TEST_F(WindowOnBus, AnInitialisationLeftUnansweredIsRetried)
{
    auto board = std::make_shared<SimRunoffBoard>();
    const int id = bus.plug(SimRunoffBoard::Identity("merrowin-demo"), board);
    bus.setFault(id, SimFault::NoReply);
    open(); // the start-up pass finds the board, but its settings never come
    ASSERT_EQ(dlg->windowTitle(), RUNOFF_TITLE);
    ASSERT_TRUE(dlg->engine.InitPending());
    ASSERT_EQ(dlg->engine.runoffReady.load(), 0);

    bus.setFault(id, SimFault::None);
    EXPECT_TRUE(waitUntil([&] { return dlg->engine.runoffReady.load() == 1; }));
    EXPECT_FALSE(dlg->engine.InitPending());
}

} // namespace
