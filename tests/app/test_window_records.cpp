// Test records from the window on the simulated bus: sensors laid down and taken off become
// records, counters and CSV rows.
#include "command_ids.h"
#include "record_store.h"
#include "sim_runoff_board.h"
#include "station_recorder.h"
#include "wait_until.h"
#include "window_fixture.h"

#include <QAction>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct WindowRecords : WindowFixture {
    QTemporaryDir dir;
    QString store = dir.filePath(QStringLiteral("records.sqlite"));
    std::shared_ptr<SimRunoffBoard> board = std::make_shared<SimRunoffBoard>();
    ChannelValues good{}, bad{}, empty{};
    int id = 0;

    void SetUp() override
    {
        Recording().storePath = store;
        Recording().stationId = QStringLiteral("line-3");
        good.fill(700);
        bad = good;
        bad[5] = 1300; // above the board's upper limit of 1100
        empty.fill(8);
        board->sensor().setFixed(empty);
        id = bus.plug(SimRunoffBoard::Identity("merrowin-demo"), board);
        open();
    }
    void TearDown() override
    {
        WindowFixture::TearDown();
        Recording() = {};
    }
    std::int64_t tested() const { return dlg->recorder->Counters().Total().tested; }
    // Lays a sensor reading `values`, keeps it there until the grid has judged it, takes it off.
    void place(const ChannelValues& values, CellVerdict seen)
    {
        const std::int64_t before = tested();
        board->sensor().setFixed(values);
        ASSERT_TRUE(waitUntil([&] { return dlg->grid.GetVerdict(0, 0) == seen; }));
        const auto passes = bus.log(id).size();
        ASSERT_TRUE(waitUntil([&] { return bus.log(id).size() > passes + 40; })); // several passes
        board->sensor().setFixed(empty);
        ASSERT_TRUE(waitUntil([&] { return tested() == before + 1; }));
    }
    std::vector<TestRecord> stored()
    {
        EXPECT_TRUE(dlg->recorder->Writer().Flush(std::chrono::seconds(5)));
        std::vector<TestRecord> records;
        RecordStore s;
        EXPECT_TRUE(s.Open(store.toStdString(), true, nullptr));
        s.Query(0, INT64_MAX, [&](const TestRecord& r) { records.push_back(r); return true; }, nullptr);
        return records;
    }
};

TEST_F(WindowRecords, AGoodAndAFailingSensorGiveTwoRecordsAndFiftyPercent)
{
    place(good, Pass);
    place(bad, Fail);
    EXPECT_TRUE(dlg->RecordsStatusText().startsWith(QString::fromUtf8("测试 2  合格 1  不良 1  良率 50.0%")))
        << dlg->RecordsStatusText().toStdString();

    const auto records = stored();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_TRUE(records[0].pass);
    EXPECT_FALSE(records[1].pass);
    EXPECT_EQ(ChannelList(records[1].failingChannels), "5");
    EXPECT_EQ(records[1].values[5], 1300);
    EXPECT_EQ(records[0].values[0], 700);
    for (const TestRecord& r : records) {
        EXPECT_EQ(r.stationId, "line-3");
        EXPECT_EQ(r.boardKind, "one-to-one");
        EXPECT_EQ(r.upperLimit[0], 1100);
        EXPECT_EQ(r.lowerLimit[0], 500);
        EXPECT_EQ(r.reference[0], 700);
        EXPECT_LE(r.startMs, r.endMs);
    }
    EXPECT_LE(records[0].endMs, records[1].startMs);

    // The File menu offers both, above its last item.
    QAction* reset = dlg->ActionOf(ID_RECORDS_RESET);
    ASSERT_NE(reset, nullptr);
    ASSERT_NE(dlg->ActionOf(ID_RECORDS_EXPORT), nullptr);
    const QList<QAction*> fileMenu = qobject_cast<QWidget*>(reset->parent())->actions();
    EXPECT_EQ(fileMenu.back()->property("commandId").toInt(), ID_APP_EXIT);
    EXPECT_LT(fileMenu.indexOf(dlg->ActionOf(ID_RECORDS_EXPORT)), fileMenu.indexOf(reset));
    reset->trigger();
    EXPECT_TRUE(dlg->RecordsStatusText().startsWith(QString::fromUtf8("测试 0  合格 0  不良 0  良率 --")));

    const QString csv = dir.filePath(QStringLiteral("out.csv"));
    const QStringList boxes = messagesDuring([&] { EXPECT_TRUE(dlg->ExportTestRecordsTo(csv, 0, INT64_MAX)); });
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].startsWith(QString::fromUtf8("已导出 2 条测试记录"))) << boxes[0].toStdString();
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count("\r\n"), 3);
}

TEST_F(WindowRecords, ASensorStillLyingThereIsRecordedWhenTheBoardGoesOrTheProgramCloses)
{
    board->sensor().setFixed(good);
    ASSERT_TRUE(waitUntil([&] { return dlg->recorder->OpenPlacements() == 1; }));
    bus.unplug(id);
    ASSERT_TRUE(waitUntil([&] { return tested() == 1; }));

    bus.plug(SimRunoffBoard::Identity("merrowin-demo"), board);
    ASSERT_TRUE(waitUntil([&] { return dlg->recorder->OpenPlacements() == 1; }));
    dlg->close();
    dlg.reset(); // the program ends: the writer has stored everything before it is gone

    RecordStore s;
    std::int64_t count = 0;
    ASSERT_TRUE(s.Open(store.toStdString(), true, nullptr));
    ASSERT_TRUE(s.Count(0, INT64_MAX, &count, nullptr));
    EXPECT_EQ(count, 2);
}

} // namespace

namespace {
// For a line's scripts: the program exports without a window and says so in its exit code.
TEST(ExportCommand, WritesTheRangeWithoutAWindowAndRefusesABadTime)
{
    QTemporaryDir dir;
    const QString store = dir.filePath(QStringLiteral("records.sqlite"));
    const QString csv = dir.filePath(QStringLiteral("out.csv"));
    {
        RecordStore s;
        ASSERT_TRUE(s.Open(store.toStdString(), false, nullptr));
        TestRecord early, late;
        early.startMs = 1000;
        late.startMs = 5000;
        ASSERT_TRUE(s.Insert({early, late}, nullptr));
    }
    struct Row {
        QStringList args;
        int exitCode;
        int lines; // of the CSV, header included; -1: no file expected
    } rows[] = {
        {{}, 0, 3},
        {{QStringLiteral("--since=1970-01-01T00:00:02Z")}, 0, 2},
        {{QStringLiteral("--since=1970-01-01"), QStringLiteral("--until=1970-01-01T00:00:05.000Z")}, 0, 2},
        {{QStringLiteral("--until=yesterday")}, 2, -1},
        {{QStringLiteral("--store-missing")}, 1, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        QFile::remove(csv);
        QProcess p;
        const bool missing = row.args.value(0) == QStringLiteral("--store-missing");
        QStringList args = {QStringLiteral("--export-records=") + csv,
                            QStringLiteral("--records=") + (missing ? dir.filePath(QStringLiteral("none.sqlite")) : store)};
        if (!missing)
            args += row.args;
        p.start(QStringLiteral(VORLAINE_BINARY), args);
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), row.exitCode) << p.readAllStandardError().toStdString();
        QFile file(csv);
        ASSERT_EQ(file.exists(), row.lines >= 0);
        if (row.lines >= 0) {
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_EQ(file.readAll().count("\r\n"), row.lines);
        }
    }
}
} // namespace
