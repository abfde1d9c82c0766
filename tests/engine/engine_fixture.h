#pragma once
// An engine on the simulated bus with a grid that is painted off screen, as the window would.
#include "acquisition_engine.h"
#include "colorbar.h"
#include "engine_host.h"
#include "maker_domain.h"
#include "page_table.h"
#include "sim_bus.h"
#include "wait_until.h"

#include <QImage>
#include <gtest/gtest.h>

#include <mutex>

class RecordingHost final : public EngineHost {
public:
    void SetTitle(const QString& t) override { set(t); }
    void PostTitle(const QString& t, std::uint64_t) override { set(t); }
    QString title() const
    {
        std::lock_guard lock(mutex_);
        return title_;
    }

private:
    void set(const QString& t)
    {
        std::lock_guard lock(mutex_);
        title_ = t;
    }
    mutable std::mutex mutex_;
    QString title_;
};

struct EngineFixture : ::testing::Test {
    SimBus bus;
    CColorBar grid;
    RecordingHost host;
    AcquisitionEngine engine{bus, grid, host};
    QImage image{400, 300, QImage::Format_RGB32};

    EngineFixture()
    {
        InitPageTableDefaults();
        grid.SetColumns(1);
        grid.SetRows(1);
    }
    ~EngineFixture() override { engine.StopAcquisition(); }

    // One repaint: verdicts and the fail count follow the cells the worker handed over.
    void paint() { grid.PaintTo(image); }

    template <typename Pred>
    bool paintUntil(Pred pred)
    {
        return waitUntil([&] {
            paint();
            return pred();
        });
    }

    static int countCommands(const std::vector<SimLoggedReport>& log, std::uint8_t code)
    {
        int n = 0;
        for (const auto& e : log)
            n += e.kind == SimLoggedReport::Kind::Output && e.bytes[1] == 0x01 && e.bytes[2] == 0x29 && e.bytes[3] == code;
        return n;
    }
};
