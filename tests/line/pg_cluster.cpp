#include "pg_cluster.h"

#include "line_schema.h"
#include "pq.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace {
const std::string BIN = "/usr/lib/postgresql/15/bin/";

bool AsRoot()
{
    return geteuid() == 0;
}

// The command as the unprivileged user when we are root.
std::vector<std::string> AsPostgres(std::vector<std::string> argv)
{
    if (AsRoot())
        argv.insert(argv.begin(), {"runuser", "-u", "postgres", "--"});
    return argv;
}

// quiet: no stdout, and no stderr either when `silent`.
pid_t Spawn(const std::vector<std::string>& argv, bool quiet, bool detach, bool silent = true)
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        if (silent)
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (detach)
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return rc == 0 ? pid : -1;
}
} // namespace

std::string PgCluster::FreePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    std::string port;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0)
        port = std::to_string(ntohs(a.sin_port));
    if (fd >= 0)
        close(fd);
    return port;
}

bool PgCluster::Run(const std::vector<std::string>& argv, std::string* error) const
{
    const pid_t pid = Spawn(argv, true, false, false);
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return true;
    if (error) {
        *error = argv[AsRoot() && argv[0] == "runuser" ? 4 : 0] + " failed";
        std::ifstream log(folder_ + "/log");
        std::string line, tail;
        while (std::getline(log, line))
            tail = line;
        if (!tail.empty())
            *error += ": " + tail;
    }
    return false;
}

bool PgCluster::Create(std::string* error, const std::vector<std::string>& settings)
{
    char folder[] = "/tmp/vorlaine-pg-XXXXXX";
    if (!mkdtemp(folder)) {
        *error = "no temporary folder";
        return false;
    }
    folder_ = folder;
    data_ = folder_ + "/data";
    settings_ = settings;
    if (AsRoot()) {
        const passwd* pw = getpwnam("postgres");
        if (!pw || chown(folder, pw->pw_uid, pw->pw_gid) != 0) {
            *error = "no postgres user to run the cluster as";
            return false;
        }
    }
    const std::string port = FreePort();
    port_ = std::atoi(port.c_str());
    if (!Run(AsPostgres({BIN + "initdb", "-D", data_, "-U", "postgres", "-A", "trust", "-E", "UTF8",
                         "--locale=C", "--no-sync"}),
             error))
        return false;
    // Should this process die first, the watchdog stops the cluster and removes the folder.
    const std::string stop = (AsRoot() ? "runuser -u postgres -- " : "") + BIN + "pg_ctl stop -D " + data_ +
                             " -m immediate";
    Spawn({"sh", "-c",
           "while [ -d /proc/" + std::to_string(getpid()) + " ]; do sleep 1; done; " + stop + "; rm -rf " + folder_},
          true, true);
    return Start(error);
}

bool PgCluster::Start(std::string* error)
{
    std::string options = "-c listen_addresses=127.0.0.1 -p " + std::to_string(port_) + " -k " + folder_ +
                          " -c fsync=off -c full_page_writes=off";
    for (const std::string& s : settings_)
        options += " -c " + s;
    return Run(AsPostgres({BIN + "pg_ctl", "start", "-D", data_, "-l", folder_ + "/log", "-w", "-t", "60", "-o",
                           options}),
               error);
}

bool PgCluster::Stop(const std::string& mode, std::string* error)
{
    return Run(AsPostgres({BIN + "pg_ctl", "stop", "-D", data_, "-m", mode, "-w"}), error);
}

void PgCluster::Remove()
{
    if (folder_.empty())
        return;
    if (PostmasterPid() > 0)
        Stop("immediate", nullptr);
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
    folder_.clear();
}

int PgCluster::PostmasterPid() const
{
    std::ifstream in(data_ + "/postmaster.pid");
    int pid = 0;
    return in >> pid && pid > 0 && kill(pid, 0) == 0 ? pid : 0;
}

std::string PgCluster::ConnInfo(const std::string& db, const std::string& user) const
{
    return "host=" + folder_ + " port=" + std::to_string(port_) + " dbname=" + db + " user=" + user;
}

std::string PgCluster::TcpConnInfo(const std::string& db, const std::string& user) const
{
    return "host=127.0.0.1 port=" + std::to_string(port_) + " dbname=" + db + " user=" + user;
}

bool PgCluster::CreateLineDatabase(const std::string& name, std::string* error)
{
    {
        pq::Connection admin;
        if (!admin.Open(ConnInfo("postgres"), 10, error))
            return false;
        // The name is the test's own constant; CREATE DATABASE takes no parameters.
        pq::Result r = admin.Exec(("CREATE DATABASE " + name).c_str());
        if (!r.Ok()) {
            *error = r.Error();
            return false;
        }
    }
    pq::Connection db;
    int applied = 0;
    if (!db.Open(ConnInfo(name), 10, error) || !ApplyLineMigrations(db, &applied, error))
        return false;
    if (!rolesMade_) {
        pq::Result r = db.Exec("CREATE ROLE station_a LOGIN IN ROLE vorlaine_station; "
                               "CREATE ROLE station_b LOGIN IN ROLE vorlaine_station; "
                               "CREATE ROLE station_c LOGIN IN ROLE vorlaine_station; "
                               "CREATE ROLE line_reader LOGIN IN ROLE vorlaine_reader");
        if (!r.Ok()) {
            *error = r.Error();
            return false;
        }
        rolesMade_ = true;
    }
    return true;
}
