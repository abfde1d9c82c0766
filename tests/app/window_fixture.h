#pragma once
// The main window on a simulated bus, with its device events; closed at the end of each test.
#include "cvorlaine_dlg.h"
#include "sim_bus.h"
#include "sim_device_events.h"

#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

// The texts of the message boxes opened while `action` runs; each is answered at once.
inline QStringList messagesDuring(const std::function<void()>& action)
{
    QStringList seen;
    QTimer answer; // fires only inside a box's own event loop
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen << box->text();
            box->accept();
        }
    });
    answer.start(0);
    action();
    return seen;
}

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
