// Keys at the main window: each key counts once for the code word, and the menu bar keeps its own.
#include "cvorlaine_dlg.h"
#include "sim_bus.h"
#include "sim_device_events.h"
#include "wait_until.h"
#include "window_fixture.h"

#include <QApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

const QString UNLOCKED = QString::fromUtf8("使能FPC测试菜单已经解锁！");

struct WindowKeys : ::testing::Test {
    SimBus bus;
    std::unique_ptr<CVorlaineDlg> dlg;
    QMenuBar* bar = nullptr;
    // A style with Alt navigation, as on the desktops that have it: a menu closed with Escape
    // leaves the bar in keyboard mode, holding the focus.
    std::unique_ptr<QStyle> altNavigation{QStyleFactory::create(QStringLiteral("Windows"))};

    void SetUp() override
    {
        dlg = std::make_unique<CVorlaineDlg>(bus, [this] { return std::make_unique<SimDeviceEvents>(bus); });
        bar = dlg->findChild<QMenuBar*>();
        ASSERT_TRUE(bar && altNavigation);
        bar->setStyle(altNavigation.get());
        dlg->show();
        dlg->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    }
    void TearDown() override
    {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        dlg->close();
        dlg.reset(); // before the style the bar uses
    }

    // As the keyboard delivers keys: to the window, which hands them to its focus widget.
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(dlg->windowHandle(), key, modifiers);
    }
    void type(const char* text)
    {
        for (; *text; ++text)
            QTest::keyClick(dlg->windowHandle(), *text);
    }
};

TEST_F(WindowKeys, BackspaceRemovesOneCharacterWhicheverWidgetItIsSentTo)
{
    QWidget* const targets[] = {bar, &dlg->grid, dlg.get()};
    for (QWidget* target : targets) {
        const QStringList seen = messagesDuring([&] {
            QTest::keyClicks(dlg.get(), "kestlex");
            QTest::keyClick(target, Qt::Key_Backspace);
            QTest::keyClick(dlg.get(), Qt::Key_Return);
        });
        EXPECT_EQ(seen, QStringList{UNLOCKED}) << target->metaObject()->className();
    }
}

TEST_F(WindowKeys, EscapeSentToTheMenuBarLeavesItsKeyboardMode)
{
    press(Qt::Key_Alt);
    ASSERT_NE(bar->activeAction(), nullptr); // Alt alone selects the first menu
    QTest::keyClick(bar, Qt::Key_Escape);
    EXPECT_EQ(bar->activeAction(), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), dlg.get());
    EXPECT_TRUE(dlg->isVisible());
}

TEST_F(WindowKeys, AfterAMenuIsOpenedAndClosedByKeyboardEscapeLeavesTheBarAndTheCodeWordWorks)
{
    press(Qt::Key_F, Qt::AltModifier);
    ASSERT_TRUE(waitUntil([] { return QApplication::activePopupWidget() != nullptr; }));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    ASSERT_EQ(QApplication::activePopupWidget(), nullptr);
    ASSERT_NE(bar->activeAction(), nullptr); // back on the bar, in keyboard mode

    press(Qt::Key_Escape);
    EXPECT_EQ(bar->activeAction(), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), dlg.get());
    press(Qt::Key_Escape); // once more, now with nothing left to leave
    const QStringList seen = messagesDuring([&] {
        type("kestle");
        press(Qt::Key_Return);
    });
    EXPECT_EQ(seen, QStringList{UNLOCKED});
    EXPECT_TRUE(dlg->isVisible());
}

} // namespace
