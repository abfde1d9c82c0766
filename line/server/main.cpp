// vorlaine-line: applies the line's schema, then serves its read-only views and page over HTTP.
#include "line_api.h"
#include "line_config.h"
#include "line_http.h"
#include "line_schema.h"

#include <httplib.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

namespace {
bool Option(const std::string& arg, const char* name, std::string* value)
{
    const std::string prefix = std::string(name) + "=";
    if (arg.rfind(prefix, 0) != 0)
        return false;
    *value = arg.substr(prefix.size());
    return true;
}

int Usage()
{
    std::fprintf(stderr, "usage: vorlaine-line --db=CONNINFO [--config=line.ini] [--listen=ADDR:PORT] [--web=DIR]\n");
    return 2;
}
} // namespace

int main(int argc, char** argv)
{
    std::string db, configPath, listen = "127.0.0.1:8080", web;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!Option(arg, "--db", &db) && !Option(arg, "--config", &configPath) && !Option(arg, "--listen", &listen) &&
            !Option(arg, "--web", &web))
            return Usage();
    }
    const auto colon = listen.rfind(':');
    if (db.empty() || colon == std::string::npos)
        return Usage();
    const std::string host = listen.substr(0, colon);
    int port = 0;
    try {
        port = std::stoi(listen.substr(colon + 1));
    } catch (...) {
        return Usage();
    }

    std::string error;
    if (std::string passwordError; pq::ConnInfoHasPassword(db, &passwordError)) {
        std::fprintf(stderr, "vorlaine-line: the password belongs in ~/.pgpass or PGPASSWORD, not on the command line\n");
        return 2;
    }
    LineConfig config;
    if (!configPath.empty() && !LoadLineConfig(configPath, &config, &error)) {
        std::fprintf(stderr, "vorlaine-line: %s\n", error.c_str());
        return 2;
    }
    {
        pq::Connection owner;
        int applied = 0;
        if (!owner.Open(db, 10, &error) || !ApplyLineMigrations(owner, &applied, &error)) {
            std::fprintf(stderr, "vorlaine-line: %s\n", pq::FirstLine(error).c_str());
            return 1;
        }
        if (applied > 0)
            std::printf("vorlaine-line: %d migration(s) applied\n", applied);
    }
    {
        pq::Connection reader;
        if (!OpenReaderConnection(reader, db, &error)) {
            std::fprintf(stderr, "vorlaine-line: %s\n", error.c_str());
            return 1;
        }
        if (!reader.Exec("SELECT now() AT TIME ZONE $1", {config.timeZone}).Ok()) {
            std::fprintf(stderr, "vorlaine-line: unknown time zone %s\n", config.timeZone.c_str());
            return 2;
        }
    }

    // Signals are taken by a thread of their own, so that stopping the server is an ordinary call.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    LineApi api(db, config);
    httplib::Server server;
    RouteLine(server, api, FindWebDir(web, argv[0]));
    if (!server.bind_to_port(host, port)) {
        std::fprintf(stderr, "vorlaine-line: cannot listen on %s\n", listen.c_str());
        return 1;
    }
    std::thread stopper([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.stop();
    });
    std::printf("vorlaine-line: serving http://%s:%d/\n", host.c_str(), port);
    std::fflush(stdout);
    server.listen_after_bind();
    // Stopped otherwise than by a signal (it cannot be, today): wake the signal thread.
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    return 0;
}
