// The program on a termination signal: it ends as its own "退出" ends it, so the sensor lying on
// the board at that moment is recorded.
#include "record_store.h"

#include <QDateTime>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <thread>

namespace {
TEST(TerminationSignals, EndThePlacementOnTheBoardAndExitCleanly)
{
    // The demo's one-to-one sensor lies on the board from its start until 8 s later.
    constexpr auto SIGNAL_AFTER = std::chrono::milliseconds(4500);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        QTemporaryDir dir;
        const QString store = dir.filePath(QStringLiteral("records.sqlite"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path()); // a lock of its own, not a running station's
        env.insert(QStringLiteral("XDG_STATE_HOME"), dir.path());
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VORLAINE_BINARY), {QStringLiteral("--simulate=runoff"), QStringLiteral("--records=") + store});
        ASSERT_TRUE(p.waitForStarted(5000));
        std::this_thread::sleep_for(SIGNAL_AFTER);
        ASSERT_EQ(p.state(), QProcess::Running);
        const std::int64_t sent = QDateTime::currentMSecsSinceEpoch();
        ::kill(static_cast<pid_t>(p.processId()), signal);
        ASSERT_TRUE(p.waitForFinished(15000));
        const std::int64_t ended = QDateTime::currentMSecsSinceEpoch();
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();

        std::vector<TestRecord> records;
        RecordStore s;
        ASSERT_TRUE(s.Open(store.toStdString(), true, nullptr));
        s.Query(0, INT64_MAX, [&](const TestRecord& r) { records.push_back(r); return true; }, nullptr);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_GE(records[0].endMs, sent);
        EXPECT_LE(records[0].endMs, ended);
        EXPECT_LT(records[0].startMs, sent);
    }
}
} // namespace
