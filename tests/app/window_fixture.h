#pragma once
// The main window on a simulated bus, with its device events; closed at the end of each test.
#include "cvorlaine_dlg.h"
#include "message_boxes.h"
#include "sim_bus.h"
#include "sim_device_events.h"
#include "wait_until.h"

#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

struct WindowFixture : ::testing::Test {
    SimBus bus;
    std::unique_ptr<CVorlaineDlg> dlg;

    // `settled`: returns once the start-up's board work is done.
    void open(bool settled = true)
    {
        dlg = std::make_unique<CVorlaineDlg>(bus, [this] { return std::make_unique<SimDeviceEvents>(bus); });
        if (settled)
            settle();
    }
    // Waits until the board work the window asked for has been done and answered.
    void settle()
    {
        ASSERT_TRUE(waitUntil([this] { return !dlg->BoardsBusy(); }, std::chrono::seconds(20)));
    }
    void TearDown() override
    {
        if (dlg)
            dlg->close();
    }
};
