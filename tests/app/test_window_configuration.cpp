// The File menu's configuration commands on the window, with a board on the simulated bus.
#include "page_table.h"
#include "sim_runoff_board.h"
#include "wait_until.h"
#include "window_fixture.h"

#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <fstream>
#include <functional>

namespace {

constexpr std::uint8_t WRITE_UPPER = 0x11;

struct WindowConfiguration : WindowFixture {
    QTemporaryDir dir;
    std::shared_ptr<SimRunoffBoard> board = std::make_shared<SimRunoffBoard>();
    int id = 0;

    QString file(const char* name, const std::string& text)
    {
        const QString path = dir.filePath(QString::fromUtf8(name));
        std::ofstream(path.toStdString(), std::ios::binary) << text;
        return path;
    }
    static std::string grid(int rows, int columns, int upper)
    {
        std::string text = "[GLOBAL]\r\nFPCTEST=0\r\nCOL=" + std::to_string(columns) + "\r\nROW=" +
                           std::to_string(rows) + "\r\n";
        for (int p = 0; p < rows * columns; ++p) {
            char section[48];
            std::snprintf(section, sizeof section, "[PAGE%02d_THRESHOLDHIGH]\r\n", p);
            text += section;
            for (int k = 0; k < 32; ++k)
                text += "CH" + std::string(k < 10 ? "0" : "") + std::to_string(k) + "=" + std::to_string(upper + p) + "\r\n";
        }
        return text;
    }
    int uploadsOfUpperLimits() const
    {
        int n = 0;
        for (const auto& e : bus.log(id))
            n += e.bytes[1] == 0x01 && e.bytes[2] == 0x29 && e.bytes[3] == WRITE_UPPER;
        return n;
    }
};

TEST_F(WindowConfiguration, ALoadSetsTheGridAndDownloadsEveryPageToTheOneToOneBoard)
{
    id = bus.plug(SimRunoffBoard::Identity("merrowin-demo"), board);
    open();
    ASSERT_TRUE(waitUntil([&] { return dlg->engine.runoffReady.load() == 1; }));
    bus.clearLog(id);

    EXPECT_TRUE(dlg->LoadConfigurationFrom(file("a.ini", grid(2, 2, 1200))));
    EXPECT_EQ(dlg->grid.GetColumns(), 2);
    EXPECT_EQ(dlg->grid.GetRows(), 2);
    EXPECT_EQ(uploadsOfUpperLimits(), 4) << "one download per page of the file";
    std::lock_guard lock(pageTableLock());
    const std::uint16_t upper = pageTable[3].thresholdHigh[31];
    EXPECT_EQ(upper, 1203);
}

TEST_F(WindowConfiguration, AFileTheGridCannotHoldIsRefusedAndChangesNothing)
{
    open();
    const int columns = dlg->grid.GetColumns(), rows = dlg->grid.GetRows();
    std::uint16_t before = 0;
    {
        std::lock_guard lock(pageTableLock());
        before = pageTable[0].thresholdHigh[0];
    }
    for (const auto& [r, c] : {std::pair{11, 1}, {1, -1}, {9, 8}}) {
        const QString path = file("big.ini", grid(r, c, 4000));
        bool loaded = true;
        const QStringList shown = messagesDuring([&] { loaded = dlg->LoadConfigurationFrom(path); });
        EXPECT_FALSE(loaded);
        ASSERT_EQ(shown.size(), 1) << r << "x" << c;
        EXPECT_TRUE(shown[0].contains(QStringLiteral("ROW=%1").arg(r))) << shown[0].toStdString();
        EXPECT_EQ(dlg->grid.GetColumns(), columns);
        EXPECT_EQ(dlg->grid.GetRows(), rows);
        std::lock_guard lock(pageTableLock());
        const std::uint16_t after = pageTable[0].thresholdHigh[0];
        EXPECT_EQ(after, before);
    }
}

TEST_F(WindowConfiguration, AFailedSaveIsReportedWithTheFileAndTheReason)
{
    open();
    const QString blocker = file("not-a-folder", "x");
    const QString path = blocker + QStringLiteral("/station.ini");
    bool saved = true;
    const QStringList shown = messagesDuring([&] { saved = dlg->SaveConfigurationTo(path); });
    EXPECT_FALSE(saved);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].contains(path));
    EXPECT_TRUE(shown[0].contains(QStringLiteral("Not a directory"))) << shown[0].toStdString();
}

} // namespace
