// The whole path: the built program, on a simulated offline master, forwards to a throw-away line and the
// line's status view shows the station's records.
#include "line_api.h"
#include "line_config.h"
#include "pg_cluster.h"
#include "wait_until.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using nlohmann::json;

TEST(LineLive, ARunningStationShowsItsRecordsInTheStatus)
{
    PgCluster cluster;
    std::string error;
    ASSERT_TRUE(cluster.Create(&error)) << error;
    ASSERT_TRUE(cluster.CreateLineDatabase("live", &error)) << error;

    // A home of its own: no station.ini, records or instance lock of the machine's.
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
        env.insert(QString::fromLatin1(name), home.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess station;
    station.setProcessEnvironment(env);
    station.setProcessChannelMode(QProcess::ForwardedChannels);
    station.start(QStringLiteral(VORLAINE_BINARY),
                  {QStringLiteral("--station=LIVE-1"), QStringLiteral("--simulate=master"), QStringLiteral("--records=") + home.path() + QStringLiteral("/r.sqlite"),
                   QStringLiteral("--line=") + QString::fromStdString(cluster.ConnInfo("live", "station_a"))});
    ASSERT_TRUE(station.waitForStarted(10000));

    LineConfig config;
    config.stations = {"LIVE-1"};
    LineApi api(cluster.ConnInfo("live", "line_reader"), config);
    json tile;
    ApiReply reply;
    const bool shown = waitUntil(
        [&] {
            reply = api.Handle("status", {});
            if (reply.status != 200)
                return false;
            const json body = json::parse(reply.body);
            for (const json& t : body["tiles"])
                if (t["station"] == "LIVE-1")
                    tile = t;
            return tile.is_object() && tile["shift_total"].get<double>() > 0 && !tile["last_pass"].is_null();
        },
        std::chrono::seconds(30));
    const bool running = station.state() == QProcess::Running;
    station.terminate();
    if (!station.waitForFinished(15000)) {
        station.kill();
        station.waitForFinished(5000);
    }
    ASSERT_TRUE(running) << "the station ended early, exit code " << station.exitCode();
    EXPECT_TRUE(shown) << reply.body;
    EXPECT_NE(tile["state"], "offline") << tile.dump();
}
