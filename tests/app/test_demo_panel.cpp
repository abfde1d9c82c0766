// The demo's simulator panel: each control acts on the simulated bus and boards, and the window
// shows what hardware would have made it show.
#include "acquisition_engine.h"
#include "cvorlaine_dlg.h"
#include "demo_mode.h"
#include "demo_panel.h"
#include "sim_bus.h"
#include "wait_until.h"
#include "window_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>

#include <functional>

namespace {

struct DemoPanelTest : ::testing::Test {
    std::unique_ptr<DemoBench> demo;
    std::unique_ptr<CVorlaineDlg> dlg;
    CDemoPanel* panel = nullptr;

    void SetUp() override
    {
        QString error;
        demo = DemoBench::Create(QStringLiteral("master:2x1@0.1"), &error);
        ASSERT_TRUE(demo) << error.toStdString();
        dlg = std::make_unique<CVorlaineDlg>(demo->backend(), [this] { return demo->eventSource(); });
        demo->Start(*dlg);
        panel = demo->panel();
        ASSERT_NE(panel, nullptr);
        // Both positions in the hands of the test, sensors on, nothing touched.
        for (int i = 0; i < 2; ++i) {
            panel->position->setCurrentIndex(i);
            panel->layOn->click();
        }
        panel->position->setCurrentIndex(0);
    }
    void TearDown() override
    {
        if (dlg)
            dlg->close();
        dlg.reset();
    }
    std::uint16_t value(int channel) const
    {
        std::uint16_t values[32] = {};
        ColorBarCell cell{};
        if (dlg->grid.CopyTestedCell(0, 0, &cell))
            std::copy(std::begin(cell.value), std::end(cell.value), values);
        return values[channel];
    }
};

TEST_F(DemoPanelTest, EachControlReachesTheWindowThroughTheBus)
{
    const QString master = title::MASTER;
    ASSERT_TRUE(waitUntil([&] { return dlg->windowTitle() == master; }, std::chrono::seconds(10)));
    struct Row {
        const char* name;
        std::function<void()> act;
        std::function<bool()> shown;
    } rows[] = {
        {"sensor on passes", [] {}, [&] { return dlg->grid.GetVerdict(0, 0) == Pass; }},
        {"channel out of limits fails",
         [&] {
             panel->channel->setValue(5);
             panel->outOfLimits->click();
         },
         [&] { return dlg->grid.GetVerdict(0, 0) == Fail && value(5) > 1100; }},
        {"channel restored passes", [&] { panel->restoreChannel->click(); },
         [&] { return dlg->grid.GetVerdict(0, 0) == Pass; }},
        {"shorted channel reads 0 and fails",
         [&] {
             panel->channel->setValue(7);
             panel->shortChannel->click();
         },
         [&] { return dlg->grid.GetVerdict(0, 0) == Fail && value(7) == 0; }},
        {"restored again", [&] { panel->restoreChannel->click(); }, [&] { return dlg->grid.GetVerdict(0, 0) == Pass; }},
        {"sensor taken off reads near zero", [&] { panel->takeOff->click(); },
         [&] { return dlg->grid.GetVerdict(0, 0) == Fail && value(0) < 50; }},
        {"sensor laid on again", [&] { panel->layOn->click(); }, [&] { return dlg->grid.GetVerdict(0, 0) == Pass; }},
        {"the other position is its own", [&] {
             panel->position->setCurrentIndex(1);
             panel->takeOff->click();
         },
         [&] { return dlg->grid.GetVerdict(1, 0) == Fail && dlg->grid.GetVerdict(0, 0) == Pass; }},
        {"unplugged", [&] { panel->plugged[0]->setChecked(false); },
         [&] {
             return dlg->windowTitle() == title::DISCONNECTED && dlg->grid.GetColumns() == 0 &&
                    !panel->emergencyStop->isEnabled();
         }},
        {"plugged again", [&] { panel->plugged[0]->setChecked(true); },
         [&] {
             return dlg->windowTitle() == master && dlg->grid.GetColumns() == 2 && panel->emergencyStop->isEnabled();
         }},
        {"emergency stop", [&] { panel->emergencyStop->click(); },
         [&] { return dlg->windowTitle() == title::EMERGENCY; }},
        {"transfer delay", [&] { panel->transferDelay->setValue(5); },
         [&] { return demo->bus().transferDelay() == std::chrono::milliseconds(5); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.act();
        EXPECT_TRUE(waitUntil(row.shown, std::chrono::seconds(10)));
    }
}

// The nine-way tester master alone connects nothing (the window only probes it): its panel entry
// says so, and the other boards' entries do not.
TEST(DemoPanel, ProbedOnlyBoardIsMarked)
{
    QString error;
    auto demo = DemoBench::Create(QStringLiteral("pendrake,classic"), &error);
    ASSERT_TRUE(demo) << error.toStdString();
    CVorlaineDlg dlg(demo->backend(), [&] { return demo->eventSource(); });
    demo->Start(dlg);
    ASSERT_TRUE(waitUntil([&] { return dlg.windowTitle() == title::CLASSIC; }, std::chrono::seconds(10)));
    ASSERT_EQ(demo->panel()->plugged.size(), 2u);
    EXPECT_TRUE(demo->panel()->plugged[0]->text().contains(QString::fromUtf8("仅探测")));
    EXPECT_TRUE(demo->panel()->plugged[0]->isChecked());
    EXPECT_FALSE(demo->panel()->plugged[1]->text().contains(QString::fromUtf8("仅探测")));
    // Unplugging the one board it serves leaves the window disconnected, the nine-way master still in.
    demo->panel()->plugged[1]->setChecked(false);
    EXPECT_TRUE(waitUntil([&] { return dlg.windowTitle() == title::DISCONNECTED; }, std::chrono::seconds(10)));
    dlg.close();
}

// A window on hardware (or a test's bus) never gets the panel.
TEST(DemoPanel, OnlyTheDemoHasIt)
{
    SimBus bus;
    CVorlaineDlg dlg(bus, {});
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<CDemoPanel*>(w), nullptr);
    dlg.close();
}

} // namespace
