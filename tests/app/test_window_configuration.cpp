// The File menu's configuration commands on the window, with a board on the simulated bus.
#include "command_ids.h"
#include "configuration_file.h"
#include "maker_domain.h"
#include "page_table.h"
#include "sim_kelspire_board.h"
#include "sim_master_board.h"
#include "sim_runoff_board.h"
#include "wait_until.h"
#include "window_fixture.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <array>
#include <fstream>
#include <functional>
#include <iterator>

namespace {

// One download to the one-to-one board: mask, upper, lower, reference, range max, range min.
const std::vector<std::uint8_t> RUNOFF_DOWNLOAD = {0x31, 0x11, 0x21, 0x02, 0xD7, 0xD9};
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
    // The download commands on the wire, each with the data report that followed it.
    std::vector<std::pair<std::uint8_t, SimReport>> downloads() const
    {
        std::vector<std::pair<std::uint8_t, SimReport>> seen;
        const auto log = bus.log(id);
        for (std::size_t i = 0; i + 1 < log.size(); ++i) {
            const SimReport& r = log[i].bytes;
            const bool command = r[1] == 0x01 && r[2] == 0x29;
            if (command && std::find(RUNOFF_DOWNLOAD.begin(), RUNOFF_DOWNLOAD.end(), r[3]) != RUNOFF_DOWNLOAD.end())
                seen.emplace_back(r[3], log[++i].bytes);
        }
        return seen;
    }
};

TEST_F(WindowConfiguration, ALoadSetsTheGridAndDownloadsEveryPageToTheOneToOneBoard)
{
    id = bus.plug(SimRunoffBoard::Identity("merrowin-demo"), board);
    open();
    ASSERT_TRUE(waitUntil([&] { return dlg->engine.runoffReady.load() == 1; }));
    bus.clearLog(id);

    EXPECT_TRUE(dlg->LoadConfigurationFrom(file("a.ini", grid(2, 2, 1200))));
    settle();
    EXPECT_EQ(dlg->grid.GetColumns(), 2);
    EXPECT_EQ(dlg->grid.GetRows(), 2);
    // Every page of the file triggers a download of the page under the cursor (cell 0 here).
    const auto sent = downloads();
    ASSERT_EQ(sent.size(), 4 * RUNOFF_DOWNLOAD.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(sent[i].first, RUNOFF_DOWNLOAD[i % RUNOFF_DOWNLOAD.size()]) << "report " << i;
        if (sent[i].first != WRITE_UPPER)
            continue;
        for (std::size_t k = 0; k < 32; ++k) {
            const int upper = sent[i].second[1 + 2 * k] << 8 | sent[i].second[2 + 2 * k];
            ASSERT_EQ(upper, 1200) << "channel " << k;
        }
    }
    std::lock_guard lock(pageTableLock());
    const std::uint16_t upper = pageTable[3].thresholdHigh[31];
    EXPECT_EQ(upper, 1203);
}

// Each page goes to the station that serves its cell: the offline master through its cell map, the
// smart master at station page + 2.
TEST_F(WindowConfiguration, EachPageReachesItsStationOnTheMasterBoards)
{
    struct Case {
        const char* board;
        std::function<int()> plug;
        std::function<bool()> ready;
        std::function<std::uint16_t(int page)> upperAtStation;
    };
    auto master = std::make_shared<SimMasterBoard>(std::vector<std::uint8_t>{5, 9, 2, 7});
    const std::array<std::uint8_t, 4> masterStation = {5, 9, 2, 7};
    auto kelspire = std::make_shared<SimKelspireBoard>();
    const Case cases[] = {
        {"offline master", [&] { return bus.plug(SimMasterBoard::Identity(MAKER_DOMAIN), master); },
         [&] { return dlg->engine.masterAbsent.load() == 0 && !dlg->engine.InitPending(); },
         [&](int page) { return master->tables(masterStation[static_cast<std::size_t>(page)]).upper[17]; }},
        {"smart master", [&] { return bus.plug(SimKelspireBoard::Identity(MAKER_DOMAIN), kelspire); },
         [&] { return dlg->engine.kelspireReady.load() == 1; },
         [&](int page) { return kelspire->station(page + SimKelspireBoard::FIRST_STATION).upper[17]; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.board);
        const int plugged = c.plug();
        open();
        ASSERT_TRUE(waitUntil(c.ready));
        ASSERT_TRUE(dlg->LoadConfigurationFrom(file("m.ini", grid(2, 2, 2100))));
        settle();
        for (int page = 0; page < 4; ++page)
            EXPECT_EQ(c.upperAtStation(page), 2100 + page) << "page " << page;
        dlg->close();
        dlg.reset();
        bus.unplug(plugged);
    }
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
        const QStringList shown = messagesDuring([&] {
        loaded = dlg->LoadConfigurationFrom(path);
        settle(); // the pages the file lacks are named once the download is done
    });
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

// A load that cannot be used says why, naming the file, and leaves the grid, the page table and
// the board as they were.
TEST_F(WindowConfiguration, AnUnusableLoadSaysWhyAndChangesNothing)
{
    id = bus.plug(SimRunoffBoard::Identity("merrowin-demo"), board);
    open();
    ASSERT_TRUE(waitUntil([&] { return dlg->engine.runoffReady.load() == 1; }));
    ASSERT_TRUE(dlg->LoadConfigurationFrom(file("start.ini", grid(2, 3, 3000))));
    settle();
    struct Case {
        const char* name;
        QString path;
        bool oldCommand;
        const char* says;
    };
    const Case cases[] = {
        {"not a configuration", file("notes.ini", "[PAGE00_REFDATA]\r\nCH00=5\r\n"), false, "[GLOBAL]"},
        {"current file as old", file("current.ini", grid(2, 2, 1200)), true, "[channelenable]"},
        {"missing", dir.filePath("gone.ini"), false, "No such file or directory"},
        {"missing as old", dir.filePath("gone.ini"), true, "No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The settings of every page; the worker keeps writing the measured values.
        const auto settings = [] {
            std::lock_guard lock(pageTableLock());
            std::vector<PageConfiguration> pages;
            for (const PageRecord& record : pageTable)
                pages.push_back(PageFromRecord(record));
            return pages;
        };
        const std::vector<PageConfiguration> before = settings();
        bus.clearLog(id);
        const QStringList shown = messagesDuring([&] {
            if (c.oldCommand)
                dlg->LoadOldConfigurationFrom(c.path);
            else
                EXPECT_FALSE(dlg->LoadConfigurationFrom(c.path));
            settle();
        });
        ASSERT_EQ(shown.size(), 1);
        EXPECT_TRUE(shown[0].contains(c.path)) << shown[0].toStdString();
        EXPECT_TRUE(shown[0].contains(QString::fromUtf8(c.says))) << shown[0].toStdString();
        EXPECT_EQ(dlg->grid.GetColumns(), 3);
        EXPECT_EQ(dlg->grid.GetRows(), 2);
        EXPECT_TRUE(settings() == before);
        EXPECT_TRUE(downloads().empty());
    }
}

TEST_F(WindowConfiguration, PagesTheFileLacksTakeTheStartUpPageAndAreNamed)
{
    open();
    ASSERT_TRUE(dlg->LoadConfigurationFrom(file("full.ini", grid(4, 3, 3000))));
    settle();
    std::string partial = grid(1, 4, 1500); // four page sections, under a 4 x 3 grid
    partial = "[GLOBAL]\r\nFPCTEST=0\r\nCOL=3\r\nROW=4\r\n" + partial.substr(partial.find("[PAGE00"));
    const QString path = file("partial.ini", partial);
    bool loaded = false;
    const QStringList shown = messagesDuring([&] {
        loaded = dlg->LoadConfigurationFrom(path);
        settle(); // the pages the file lacks are named once the download is done
    });
    EXPECT_TRUE(loaded);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].contains(path));
    EXPECT_TRUE(shown[0].contains("PAGE04, PAGE05, PAGE06, PAGE07, PAGE08, PAGE09, PAGE10, PAGE11"))
        << shown[0].toStdString();
    EXPECT_FALSE(shown[0].contains("PAGE03"));
    EXPECT_EQ(dlg->grid.GetRows(), 4);
    std::lock_guard lock(pageTableLock());
    const std::uint16_t described = pageTable[3].thresholdHigh[0];
    EXPECT_EQ(described, 1503);
    for (int p = 4; p < 12; ++p) {
        const std::uint16_t upper = pageTable[p].thresholdHigh[0], lower = pageTable[p].thresholdLow[0];
        const std::uint8_t mask = pageTable[p].mask[0];
        const std::int32_t max = pageTable[p].dataMax;
        EXPECT_EQ(upper, 1100) << p;
        EXPECT_EQ(lower, 500) << p;
        EXPECT_EQ(mask, 1) << p;
        EXPECT_EQ(max, 1500) << p;
    }
}

// The file dialog asks about the name as typed; the ".ini" added to it may name an existing file.
TEST_F(WindowConfiguration, ASaveTypedWithoutExtensionAsksBeforeReplacing)
{
    open();
    const QString existing = file("station3.ini", "[KEEP]\r\nA=1\r\n");
    const auto saveAs = [&](QMessageBox::StandardButton reply) {
        QStringList asked;
        QTimer answer; // fires only inside a dialog's own event loop
        QObject::connect(&answer, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* files = qobject_cast<QFileDialog*>(modal)) {
                files->selectFile(dir.filePath("station3"));
                static_cast<QDialog*>(files)->accept(); // QFileDialog::accept, protected there
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                asked << box->text() + "|" + box->windowTitle();
                box->button(reply)->click();
            }
        });
        answer.start(0);
        dlg->SaveConfiguration();
        return asked;
    };
    const auto content = [&] {
        std::ifstream in(existing.toStdString(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };

    QStringList asked = saveAs(QMessageBox::No);
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].contains(existing)) << asked[0].toStdString();
    EXPECT_TRUE(asked[0].endsWith("|Vorlaine"));
    EXPECT_EQ(content(), "[KEEP]\r\nA=1\r\n");

    asked = saveAs(QMessageBox::Yes);
    EXPECT_EQ(asked.size(), 1);
    EXPECT_NE(content().find("[GLOBAL]"), std::string::npos);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("station3")));
}

} // namespace

namespace {

// While a download runs on the board thread the window stays live: the commands that need the
// boards are greyed out and a second press is not queued behind the first.
TEST_F(WindowConfiguration, ACommandPressedAgainWhileTheBoardsAreBusyRunsOnce)
{
    id = bus.plug(SimRunoffBoard::Identity("merrowin-demo"), board);
    open();
    ASSERT_TRUE(waitUntil([&] { return dlg->engine.runoffReady.load() == 1; }));
    bus.setOutputStall(id, std::chrono::milliseconds(5)); // a download of 4 pages takes a while
    bus.clearLog(id);

    const QString path = file("twice.ini", grid(2, 2, 1200));
    ASSERT_TRUE(dlg->LoadConfigurationFrom(path));
    EXPECT_TRUE(dlg->BoardsBusy());
    EXPECT_FALSE(dlg->LoadConfigurationFrom(path));
    dlg->OnCommand(ID_FILE_LOAD_OLD); // would ask for a file if it ran
    dlg->OnCommand(ID_DEVICE_BASIC);
    QAction* load = dlg->ActionOf(ID_FILE_LOAD);
    dlg->OnInitMenuPopup(qobject_cast<QMenu*>(load->parent()));
    EXPECT_FALSE(load->isEnabled());
    QAction* machine = dlg->ActionOf(ID_DEVICE_MACHINE1);
    dlg->OnInitMenuPopup(qobject_cast<QMenu*>(machine->parent()));
    EXPECT_FALSE(machine->isEnabled());
    EXPECT_TRUE(waitUntil([&] { return dlg->BoardActivityText().contains(QString::fromUtf8("下载配置")); }));
    settle();

    EXPECT_EQ(downloads().size(), 4 * RUNOFF_DOWNLOAD.size());
    dlg->OnInitMenuPopup(qobject_cast<QMenu*>(load->parent()));
    EXPECT_TRUE(load->isEnabled());
    EXPECT_TRUE(dlg->BoardActivityText().isEmpty());
}

// Unplugged in the middle of a 16-page download: the download ends with a word to the operator,
// and the page table still holds every page of the file.
TEST_F(WindowConfiguration, UnpluggingDuringADownloadEndsItAndKeepsThePagesLoaded)
{
    id = bus.plug(SimRunoffBoard::Identity("merrowin-demo"), board);
    open();
    ASSERT_TRUE(waitUntil([&] { return dlg->engine.runoffReady.load() == 1; }));
    bus.setOutputStall(id, std::chrono::milliseconds(10));
    bus.clearLog(id);

    const QString path = file("sixteen.ini", grid(4, 4, 2000));
    const QStringList shown = messagesDuring([&] {
        ASSERT_TRUE(dlg->LoadConfigurationFrom(path));
        ASSERT_TRUE(waitUntil([&] { return downloads().size() >= RUNOFF_DOWNLOAD.size(); }));
        bus.unplug(id);
        settle();
    });
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].contains(QString::fromUtf8("断开"))) << shown[0].toStdString();
    EXPECT_TRUE(shown[0].contains(path)) << shown[0].toStdString();
    EXPECT_LT(downloads().size(), 16 * RUNOFF_DOWNLOAD.size());
    std::lock_guard lock(pageTableLock());
    for (int p = 0; p < 16; ++p) {
        const std::uint16_t upper = pageTable[p].thresholdHigh[5];
        EXPECT_EQ(upper, 2000 + p) << "page " << p;
    }
}

} // namespace
