// Test records from the window on the simulated bus: sensors laid down and taken off become
// records, counters and CSV rows.
#include "command_ids.h"
#include "line_forwarder.h"
#include "record_store.h"
#include "sim_runoff_board.h"
#include "station_recorder.h"
#include "wait_until.h"
#include "window_fixture.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <sqlite3.h>

#include <algorithm>

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

// The worker reads the board's device id once, after the connection exchange: every record of
// that connection carries it, without the information dialog, and a re-plugged board is read anew.
// A line that cannot be reached: the station keeps testing, its records wait in the outbox and
// the status bar says why.
TEST_F(WindowRecords, AnUnreachableLineKeepsTheRecordsAndSaysSo)
{
    EXPECT_TRUE(dlg->LineStatusText().isEmpty()) << "no line configured";
    dlg->close();
    dlg.reset();
    Recording().lineConninfo = "host=127.0.0.1 port=1 connect_timeout=2"; // nothing listens there
    open();
    place(good, Pass);
    ASSERT_TRUE(waitUntil([&] { return dlg->LineStatusText().startsWith(QString::fromUtf8("产线: 无法连接 (")); }))
        << dlg->LineStatusText().toStdString();
    EXPECT_TRUE(waitUntil([&] { return dlg->lineForwarder->Status().backlog == 1; }));
    EXPECT_EQ(stored().size(), 1u);
}

TEST_F(WindowRecords, EveryRecordOfAConnectionCarriesTheBoardsDeviceId)
{
    place(good, Pass);
    place(bad, Fail);
    bus.unplug(id);
    ASSERT_TRUE(waitUntil([&] { return dlg->windowTitle() == title::DISCONNECTED; }));
    EXPECT_EQ(dlg->engine.DeviceId(), "");
    auto record = board->record();
    record.deviceId = "ID-REPLUGGED-002";
    board->setRecord(record);
    id = bus.plug(SimRunoffBoard::Identity("merrowin-demo"), board);
    place(good, Pass);

    const auto records = stored();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].boardIdentity, "ODM ID-0000000000001");
    EXPECT_EQ(records[1].boardIdentity, "ODM ID-0000000000001");
    EXPECT_EQ(records[2].boardIdentity, "ODM ID-REPLUGGED-002");

    // On the wire of the second connection: the initialisation's reads untouched, then the one id
    // read, then the measurements.
    std::vector<std::uint8_t> codes;
    for (const SimLoggedReport& e : bus.log(id))
        if (e.kind == SimLoggedReport::Kind::Output && e.bytes[1] == 0x01 && e.bytes[2] == 0x29)
            codes.push_back(e.bytes[3]);
    const std::vector<std::uint8_t> init{0x01, 0x10, 0x20, 0x30, 0xD8, 0xDA}; // tables, then the data range
    ASSERT_GT(codes.size(), init.size() + 1);
    EXPECT_TRUE(std::equal(init.begin(), init.end(), codes.begin()));
    EXPECT_EQ(codes[init.size()], 0x50);
    EXPECT_EQ(codes[init.size() + 1], 0xF0);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 0x50), 1);
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

// What the status line counts as unsaved is in the window's export, and the operator is told where
// the records beyond memory's bound are kept until the store takes them.
TEST_F(WindowRecords, WhileTheStoreIsLockedTheExportTakesTheUnsavedRecordsAndTheSpillFileIsNamed)
{
    {
        RecordStore create;
        ASSERT_TRUE(create.Open(store.toStdString(), false, nullptr));
    }
    sqlite3* other = nullptr; // another program holds the store's write lock
    ASSERT_EQ(sqlite3_open(store.toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    place(good, Pass);
    ASSERT_TRUE(waitUntil([&] { return dlg->RecordsStatusText().contains(QString::fromUtf8("未保存记录 1 条")); }))
        << dlg->RecordsStatusText().toStdString();
    for (QMessageBox* box : dlg->findChildren<QMessageBox*>()) // the warning that the store cannot be written
        box->close();

    const QString csv = dir.filePath(QStringLiteral("out.csv"));
    const QStringList boxes = messagesDuring([&] { EXPECT_TRUE(dlg->ExportTestRecordsTo(csv, 0, INT64_MAX)); });
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].startsWith(QString::fromUtf8("已导出 1 条测试记录"))) << boxes[0].toStdString();
    EXPECT_TRUE(boxes[0].contains(QString::fromUtf8("其中 1 条尚未写入数据库"))) << boxes[0].toStdString();
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count("\r\n"), 2);

    std::vector<TestRecord> many(RecordWriter::MEMORY_BOUND + 5);
    for (std::size_t i = 0; i < many.size(); ++i)
        many[i].startMs = static_cast<std::int64_t>(i);
    dlg->recorder->Writer().Submit(std::move(many));
    ASSERT_TRUE(waitUntil([&] { return !dlg->recorder->Writer().SpillPath().empty(); }));
    const QString spill = QString::fromStdString(dlg->recorder->Writer().SpillPath());
    EXPECT_TRUE(waitUntil([&] { return dlg->RecordsStatusText().contains(spill); }))
        << dlg->RecordsStatusText().toStdString();
    EXPECT_TRUE(waitUntil([&] {
        const auto shown = dlg->findChildren<QMessageBox*>();
        return std::any_of(shown.begin(), shown.end(), [&](QMessageBox* b) { return b->text().contains(spill); });
    }));

    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_TRUE(dlg->recorder->Writer().Flush(std::chrono::seconds(10)));
    EXPECT_EQ(stored().size(), RecordWriter::MEMORY_BOUND + 6);
    EXPECT_TRUE(waitUntil([&] { return !dlg->RecordsStatusText().contains(spill); }));
}

} // namespace

namespace {
// Runs the built program; its exit code, or -1 when it did not end normally.
int RunProgram(const QStringList& args, QString* errors = nullptr)
{
    QProcess p;
    p.start(QStringLiteral(VORLAINE_BINARY), args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit)
        return -1;
    if (errors)
        *errors = QString::fromUtf8(p.readAllStandardError());
    return p.exitCode();
}

std::int64_t CountIn(const QString& store)
{
    RecordStore s;
    std::int64_t n = -1;
    if (!s.Open(store.toStdString(), true, nullptr) || !s.Count(0, INT64_MAX, &n, nullptr))
        ADD_FAILURE() << store.toStdString() << " cannot be read";
    return n;
}

// For a line's scripts: the program exports without a window and says so in its exit code: 2 for
// a command line it will not guess at, 1 for an export it could not make whole.
TEST(ExportCommand, WritesTheRangeWithoutAWindowAndRefusesWhatItCannotDoRight)
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
    ASSERT_TRUE(QFile::link(store, dir.filePath(QStringLiteral("link.csv"))));
    const QString to = QStringLiteral("--export-records=") + csv, from = QStringLiteral("--records=") + store;
    struct Row {
        QStringList args;
        int exitCode;
        int lines; // of the CSV, header included; -1: no file expected
        bool locked = false;
    } rows[] = {
        {{to, from}, 0, 3},
        {{to, from, "--since=1970-01-01T00:00:02Z"}, 0, 2},
        {{to, from, "--since=1970-01-01", "--until=1970-01-01T00:00:05.000Z"}, 0, 2},
        {{to, from, "--since=1970-01-01T00:00:02+00:00", "--until=1970-01-01T00:00:02Z"}, 0, 1},
        {{"--export-records", csv, "--records", store, "--since", "1970-01-01T00:00:02Z"}, 0, 2},
        {{to, from, "--until"}, 2, -1},
        {{to, from, "--since", "--until=1970-01-01T00:00:05Z"}, 2, -1},
        {{to, from, "--since=1970-01-01T00:00:02Z", "--since=1970-01-01T00:00:03Z"}, 2, -1},
        {{to, from, "--until=yesterday"}, 2, -1},
        {{to, from, "--since=1970-01-01T25:00:00Z"}, 2, -1},
        {{to, from, "--since=1970-01-01T6:00:00Z"}, 2, -1},
        {{to, from, "--since=1970-01-01T06:00:00 Z"}, 2, -1},
        {{to, from, "--since=1970-01-01T00:00:05Z", "--until=1970-01-01T00:00:02Z"}, 2, -1},
        {{to, "--records=" + dir.filePath(QStringLiteral("none.sqlite"))}, 1, -1},
        {{"--export-records=" + store, from}, 1, -1},
        {{"--export-records=" + dir.filePath(QStringLiteral("link.csv")), from}, 1, -1},
        {{to, from}, 1, -1, true},
        {{"--hold-ms=-5"}, 2, -1}, // refused before any window opens
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        QFile::remove(csv);
        sqlite3* other = nullptr; // a program that keeps even readers out
        if (row.locked) {
            ASSERT_EQ(sqlite3_open(store.toUtf8().constData(), &other), SQLITE_OK);
            ASSERT_EQ(sqlite3_exec(other, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; DELETE FROM records WHERE 0;",
                                   nullptr, nullptr, nullptr),
                      SQLITE_OK);
        }
        QString errors;
        EXPECT_EQ(RunProgram(row.args, &errors), row.exitCode) << errors.toStdString();
        if (row.exitCode != 0) {
            EXPECT_FALSE(errors.isEmpty());
        }
        if (other) {
            sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
            sqlite3_close(other);
        }
        QFile file(csv);
        ASSERT_EQ(file.exists(), row.lines >= 0);
        if (row.lines >= 0) {
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_EQ(file.readAll().count("\r\n"), row.lines);
        }
        EXPECT_EQ(CountIn(store), 2);
    }
}

// A spill file left at closing comes into the store from the command line, once.
TEST(ImportCommand, BringsACsvOfRecordsIntoTheStoreOnce)
{
    QTemporaryDir dir;
    const QString store = dir.filePath(QStringLiteral("records.sqlite"));
    const QString spill = dir.filePath(QStringLiteral("spill.csv"));
    {
        RecordStore s;
        ASSERT_TRUE(s.Open(dir.filePath(QStringLiteral("old.sqlite")).toStdString(), false, nullptr));
        TestRecord a, b;
        a.startMs = 1000;
        b.startMs = 2000;
        b.boardIdentity = "=1+1";
        ASSERT_TRUE(s.Insert({a, b}, nullptr));
    }
    ASSERT_EQ(RunProgram({"--export-records=" + spill, "--records=" + dir.filePath(QStringLiteral("old.sqlite"))}), 0);
    for (int round = 0; round < 2; ++round) {
        QString errors;
        EXPECT_EQ(RunProgram({"--import-records=" + spill, "--records=" + store}, &errors), 0) << errors.toStdString();
        EXPECT_EQ(CountIn(store), 2);
    }
    std::vector<std::string> identities;
    RecordStore s;
    ASSERT_TRUE(s.Open(store.toStdString(), true, nullptr));
    s.Query(0, INT64_MAX, [&](const TestRecord& r) { identities.push_back(r.boardIdentity); return true; }, nullptr);
    EXPECT_EQ(identities, (std::vector<std::string>{"", "=1+1"}));

    QFile bad(dir.filePath(QStringLiteral("bad.csv")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not,a,record\r\n");
    bad.close();
    EXPECT_EQ(RunProgram({"--import-records=" + bad.fileName(), "--records=" + store}), 1);
    EXPECT_EQ(CountIn(store), 2);
}
// A 64-position master's counters, a spill file's path or a long configuration name are cut in
// the status bar (whole in their tooltips); they never make the window wider than it was.
TEST_F(WindowRecords, LongStatusTextsNeverWidenTheWindow)
{
    dlg->show();
    QCoreApplication::processEvents();
    const int width = dlg->width();
    QString counters = QString::fromUtf8("测试 640  合格 640  不良 0  良率 100.0%");
    for (int position = 1; position <= 64; ++position)
        counters += QString::fromUtf8("   位置%1: 10/10/0").arg(position);
    const QString longText = QStringLiteral("/var/lib/vorlaine/").repeated(20) + QStringLiteral("spill.csv");
    for (const auto& [name, text] : {std::pair{"recordsStatus", counters}, std::pair{"recordsWarning", longText},
                                     std::pair{"configurationFile", longText}}) {
        auto* label = dlg->findChild<QLabel*>(QString::fromLatin1(name));
        ASSERT_NE(label, nullptr) << name;
        label->setText(text);
        label->show();
    }
    dlg->layout()->activate();
    QCoreApplication::processEvents();
    EXPECT_LT(dlg->minimumSizeHint().width(), width);
    EXPECT_EQ(dlg->width(), width);
}

} // namespace
