// A click on the live grid opens the baseline dialog; its OK reaches the page and the board.
#include "baseline_edit.h"
#include "cbaseline_dlg.h"
#include "maker_domain.h"
#include "page_table.h"
#include "sim_classic_board.h"
#include "sim_kelspire_board.h"
#include "sim_master_board.h"
#include "sim_runoff_board.h"
#include "wait_until.h"
#include "window_fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>

#include <algorithm>
#include <functional>

namespace {

struct WindowBaseline : WindowFixture {
    bool opened = false;
    ChannelValues reference{};

    // Puts the pointer over cell (column, row) and lets a paint find the hover cell.
    void pointAt(int column, int row)
    {
        const QSize size = dlg->grid.size();
        const int columns = std::max(dlg->grid.GetColumns(), 1); // a grid without a board may be empty
        const int rows = std::max(dlg->grid.GetRows(), 1);
        const QPointF at((column + 0.5) * size.width() / columns, (row + 0.5) * size.height() / rows);
        QMouseEvent move(QEvent::MouseMove, at, dlg->grid.mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&dlg->grid, &move);
        QImage image(size, QImage::Format_RGB32);
        dlg->grid.PaintTo(image);
    }
    void press()
    {
        const QPointF at(5, 5);
        QMouseEvent down(QEvent::MouseButtonPress, at, dlg->grid.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&dlg->grid, &down);
    }
    // While the dialog runs: a reading as the reference, limits at +50 / -60, every channel on, OK.
    void driveDialog()
    {
        QTimer::singleShot(0, [this] {
            auto* baseline = qobject_cast<CBaseLineDlg*>(QApplication::activeModalWidget());
            if (baseline == nullptr)
                return;
            opened = true;
            baseline->OnAllOn();
            baseline->OnRead();
            baseline->OnAverage();
            qobject_cast<QAbstractButton*>(baseline->Control(CBaseLineDlg::IDC_BY_VALUE))->click();
            qobject_cast<QLineEdit*>(baseline->Control(CBaseLineDlg::IDC_UPPER_OFFSET))->setText("50");
            qobject_cast<QLineEdit*>(baseline->Control(CBaseLineDlg::IDC_LOWER_OFFSET))->setText("60");
            baseline->OnSet();
            std::copy(std::begin(editRefData), std::end(editRefData), reference.begin());
            baseline->OnOK();
        });
    }
    static std::uint16_t upper(std::uint16_t r) { return static_cast<std::uint16_t>(r + 50); }
    static std::uint16_t lower(std::uint16_t r) { return static_cast<std::uint16_t>(r - 60); }
};

TEST_F(WindowBaseline, AClickWithoutABoardOpensNothing)
{
    open();
    driveDialog();
    pointAt(0, 0);
    press();
    QApplication::processEvents();
    EXPECT_FALSE(opened);
}

// OK writes the page and runs the download of each connected board kind for the clicked page.
TEST_F(WindowBaseline, OkDownloadsTheEditedPageToTheBoard)
{
    auto runoff = std::make_shared<SimRunoffBoard>();
    auto kelspire = std::make_shared<SimKelspireBoard>();
    auto master = std::make_shared<SimMasterBoard>(std::vector<std::uint8_t>{5, 9, 2, 7});
    auto classic = std::make_shared<SimClassicBoard>();
    struct Case {
        const char* board;
        std::function<int()> plug;
        std::function<bool()> ready;
        int column; // the clicked cell, in row 0
        std::function<ChannelValues(int page)> boardUpper;
        std::function<ChannelValues(int page)> boardLower;
    };
    const Case cases[] = {
        {"one-to-one", [&] { return bus.plug(SimRunoffBoard::Identity("merrowin-demo"), runoff); },
         [&] { return dlg->engine.runoffReady.load() == 1; }, 0, [&](int) { return runoff->tables().upper; },
         [&](int) { return runoff->tables().lower; }},
        {"smart master", [&] { return bus.plug(SimKelspireBoard::Identity(MAKER_DOMAIN), kelspire); },
         [&] { return dlg->engine.kelspireReady.load() == 1; }, 1,
         [&](int page) { return kelspire->station(page + SimKelspireBoard::FIRST_STATION).upper; },
         [&](int page) { return kelspire->station(page + SimKelspireBoard::FIRST_STATION).lower; }},
        {"offline master", [&] { return bus.plug(SimMasterBoard::Identity(MAKER_DOMAIN), master); },
         [&] { return dlg->engine.masterAbsent.load() == 0 && !dlg->engine.InitPending(); }, 1,
         [&](int page) { return master->tables(page == 1 ? 9 : 0).upper; },
         [&](int page) { return master->tables(page == 1 ? 9 : 0).lower; }},
        {"classic", [&] { return bus.plug(SimClassicBoard::Identity(MAKER_DOMAIN), classic); },
         [&] { return dlg->engine.classicReady.load() == 1; }, 0, [&](int) { return classic->settings().upper; },
         [&](int) { return classic->settings().lower; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.board);
        const int id = c.plug();
        open();
        ASSERT_TRUE(waitUntil(c.ready));
        const int column = std::min(c.column, dlg->grid.GetColumns() - 1);
        const int page = PageOfCell(column, 0, dlg->grid.GetColumns());
        ASSERT_EQ(column, c.column) << "the grid is too narrow for this case";
        // Pages beyond the board's own four, to see the offline master's data range reach them.
        dlg->grid.SetColumns(3);
        {
            std::lock_guard lock(pageTableLock());
            pageTable[4].dataMax = 1;
            pageTable[5].dataMax = 1;
        }
        pointAt(column, 0);
        bus.clearLog(id);
        opened = false;
        driveDialog();
        press();
        ASSERT_TRUE(opened);
        settle(); // the downloads run on the board thread
        EXPECT_EQ(selectedPage, page);

        const ChannelValues high = c.boardUpper(page);
        const ChannelValues low = c.boardLower(page);
        for (std::size_t k = 0; k < 32; ++k) {
            ASSERT_EQ(high[k], upper(reference[k])) << "channel " << k;
            ASSERT_EQ(low[k], lower(reference[k])) << "channel " << k;
        }
        {
            std::lock_guard lock(pageTableLock());
            const std::uint16_t stored = pageTable[page].thresholdHigh[31];
            EXPECT_EQ(stored, upper(reference[31]));
            const int mask = pageTable[page].mask[0];
            EXPECT_EQ(mask, 0);
            if (std::string(c.board) == "offline master") {
                const std::int32_t range = master->record().dataMax;
                for (int p = 0; p < 6; ++p) {
                    const std::int32_t dataMax = pageTable[p].dataMax; // packed: read by value
                    EXPECT_EQ(dataMax, range) << "page " << p;
                }
            }
        }
        dlg->close();
        dlg.reset();
        bus.unplug(id);
    }
}

} // namespace
