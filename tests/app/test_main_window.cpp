// The main window on the simulated bus: start-up, menus, keys, closing, hotplug.
#include "command_ids.h"
#include "cvorlaine_dlg.h"
#include "sim_bus.h"
#include "sim_device_events.h"
#include "sim_runoff_board.h"
#include "wait_until.h"
#include "window_fixture.h"

#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

const QString DISCONNECTED = QString::fromUtf8("设备已经断开");
const QString RUNOFF_TITLE = QString::fromUtf8("Drovane 设备已经连接");

struct MainWindow : WindowFixture {
    QMenu* menuOf(int id) { return qobject_cast<QMenu*>(dlg->ActionOf(id)->parent()); }
};

TEST_F(MainWindow, StartsWithoutABoard)
{
    open();
    EXPECT_EQ(dlg->windowTitle(), DISCONNECTED);
    EXPECT_EQ(dlg->grid.GetColumns(), 0);
    EXPECT_EQ(dlg->grid.GetRows(), 0);
    EXPECT_EQ(dlg->engine.running.load(), 0);
    EXPECT_TRUE(dlg->isMaximized() || dlg->windowState() & Qt::WindowMaximized);
    dlg->OnInitMenuPopup(menuOf(ID_DEVICE_BASIC));
    for (int i = 0; i < 6; ++i) {
        QAction* a = dlg->ActionOf(DEVICE_TYPE_COMMANDS[i]);
        EXPECT_TRUE(a->isEnabled()) << i;
        EXPECT_EQ(a->isChecked(), i == 0) << i;
    }
}

TEST_F(MainWindow, EnterAndEscapeDoNotClose)
{
    open();
    dlg->show();
    QTest::keyClick(dlg.get(), Qt::Key_Return);
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    QTest::keyClick(dlg.get(), Qt::Key_Enter);
    EXPECT_TRUE(dlg->isVisible());
}

TEST_F(MainWindow, CodeWordShowsItsMessage)
{
    open();
    dlg->show();
    QString text, caption;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            text = box->text();
            caption = box->windowTitle();
            box->accept();
        }
    });
    QTest::keyClicks(dlg.get(), "KESTLE");
    QTest::keyClick(dlg.get(), Qt::Key_Return);
    EXPECT_EQ(text, QString::fromUtf8("使能FPC测试菜单已经解锁！"));
    EXPECT_TRUE(caption.isEmpty());
    EXPECT_EQ(dlg->fpcMenuUnlocked, 1);
}

TEST_F(MainWindow, MenuTogglesAndTheirCheckMarks)
{
    open();
    dlg->OnCommand(ID_BUZZER_ON);
    dlg->OnCommand(ID_FPC_TEST);
    dlg->OnInitMenuPopup(menuOf(ID_BUZZER_ON));
    dlg->OnInitMenuPopup(menuOf(ID_FPC_TEST));
    EXPECT_TRUE(dlg->ActionOf(ID_BUZZER_ON)->isChecked());
    EXPECT_FALSE(dlg->ActionOf(ID_BUZZER_INVERT)->isChecked());
    EXPECT_TRUE(dlg->ActionOf(ID_FPC_TEST)->isChecked());
    EXPECT_EQ(dlg->engine.buzzerOn.load(), 1);
    EXPECT_EQ(dlg->grid.GetFpcTestMode(), 1);
    dlg->OnCommand(ID_BUZZER_ON);
    dlg->OnInitMenuPopup(menuOf(ID_BUZZER_ON));
    EXPECT_FALSE(dlg->ActionOf(ID_BUZZER_ON)->isChecked());
}

TEST_F(MainWindow, ABoardPluggedInIsFoundAndClosingSwitchesItsOutputsOff)
{
    open();
    auto board = std::make_shared<SimRunoffBoard>();
    const int id = bus.plug(SimRunoffBoard::Identity("merrowin-demo"), board);
    ASSERT_TRUE(waitUntil([&] { return dlg->windowTitle() == RUNOFF_TITLE; }));
    EXPECT_EQ(dlg->engine.oemTag, "ODM");
    EXPECT_EQ(dlg->grid.GetColumns(), 1);
    ASSERT_TRUE(waitUntil([&] { return board->outputs()[0] == 1; })); // the worker drives the PASS lamp

    dlg->close();
    settle(); // the outputs go off on the board thread
    const auto log = bus.log(id);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2].bytes[3], 0xD3);
    EXPECT_EQ(board->outputs(), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_FALSE(dlg->engine.WorkerRunning());

    bus.unplug(id);
}

TEST_F(MainWindow, UnplugEmptiesTheGridAndAMachineTypeFindsItsBoard)
{
    open();
    auto board = std::make_shared<SimRunoffBoard>();
    const int id = bus.plug(SimRunoffBoard::Identity("VASKARO_DEV2"), board);
    ASSERT_TRUE(waitUntil([&] { return dlg->windowTitle() == DISCONNECTED && bus.log(id).empty(); }));
    dlg->OnCommand(ID_DEVICE_MACHINE2);
    settle();
    EXPECT_EQ(dlg->windowTitle(), RUNOFF_TITLE);
    EXPECT_EQ(dlg->engine.oemTag, "VASKARO");
    EXPECT_EQ(dlg->engine.SelectedDeviceType(), 2);

    bus.unplug(id);
    ASSERT_TRUE(waitUntil([&] { return dlg->windowTitle() == DISCONNECTED; }));
    EXPECT_EQ(dlg->grid.GetColumns(), 0);
    EXPECT_EQ(dlg->engine.runoffReady.load(), 0);
    EXPECT_TRUE(waitUntil([&] { return !dlg->engine.WorkerRunning(); }));
}

} // namespace
