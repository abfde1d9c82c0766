#pragma once
// The main window on a simulated bus, with its device events; closed at the end of each test.
#include "cvorlaine_dlg.h"
#include "message_boxes.h"
#include "sim_bus.h"
#include "sim_device_events.h"

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

    void open()
    {
        dlg = std::make_unique<CVorlaineDlg>(bus, [this] { return std::make_unique<SimDeviceEvents>(bus); });
    }
    void TearDown() override
    {
        if (dlg)
            dlg->close();
    }
};
