#pragma once
// A throw-away PostgreSQL cluster for tests and benchmarks: initdb into a temporary folder (as
// the `postgres` user when we are root, since initdb refuses root), listening on a Unix socket
// in that folder and on a free port of 127.0.0.1 only. A watchdog process stops and removes it
// should this process die without doing so.
#include <string>
#include <vector>

class PgCluster {
public:
    PgCluster() = default;
    ~PgCluster() { Remove(); }
    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    // `settings`: extra "-c name=value" server settings.
    bool Create(std::string* error, const std::vector<std::string>& settings = {});
    bool Start(std::string* error);
    // pg_ctl stop -m `mode` (smart, fast or immediate).
    bool Stop(const std::string& mode, std::string* error);
    void Remove();

    // Through the socket folder, or through 127.0.0.1 and the port.
    std::string ConnInfo(const std::string& db, const std::string& user = "postgres") const;
    std::string TcpConnInfo(const std::string& db, const std::string& user = "postgres") const;
    int Port() const { return port_; }
    const std::string& Folder() const { return folder_; }
    // The postmaster's process id, 0 when it is not running.
    int PostmasterPid() const;

    // A fresh database with the line's schema, and the log-in roles station_a/b/c (stations) and
    // line_reader (reader) on the cluster.
    bool CreateLineDatabase(const std::string& name, std::string* error);

    static std::string FreePort();

private:
    bool Run(const std::vector<std::string>& argv, std::string* error) const;
    std::string folder_;
    std::string data_;
    std::vector<std::string> settings_;
    int port_ = 0;
    bool rolesMade_ = false;
};
