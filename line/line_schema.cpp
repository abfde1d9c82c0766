#include "line_schema.h"

namespace {
// Any fixed number: two programs migrating one database at once take turns.
constexpr const char* LOCK = "SELECT pg_advisory_lock(7310021)";
constexpr const char* UNLOCK = "SELECT pg_advisory_unlock(7310021)";
} // namespace

bool ApplyLineMigrations(pq::Connection& conn, int* applied, std::string* error)
{
    *applied = 0;
    auto fail = [&](const pq::Result& r, const std::string& what) {
        if (error)
            *error = what + r.Error();
        return false;
    };
    pq::Result r = conn.Exec(LOCK);
    if (!r.Ok())
        return fail(r, "");
    r = conn.Exec("CREATE TABLE IF NOT EXISTS schema_migrations (version integer PRIMARY KEY, name text NOT NULL, "
                  "applied_at timestamptz NOT NULL DEFAULT now())");
    bool ok = r.Ok() || fail(r, "");
    for (const LineMigration& m : LineMigrations()) {
        if (!ok)
            break;
        const std::string number = std::to_string(m.number);
        r = conn.Exec("BEGIN");
        if (!(ok = r.Ok() || fail(r, "")))
            break;
        r = conn.Exec("SELECT 1 FROM schema_migrations WHERE version = $1", {number});
        if (!(ok = r.Ok() || fail(r, "")))
            break;
        if (r.Rows() == 0) {
            r = conn.Exec(m.sql);
            if (!(ok = r.Ok() || fail(r, std::string(m.name) + ": ")))
                break;
            r = conn.Exec("INSERT INTO schema_migrations (version, name) VALUES ($1, $2)", {number, std::string(m.name)});
            if (!(ok = r.Ok() || fail(r, "")))
                break;
            ++*applied;
        }
        r = conn.Exec("COMMIT");
        ok = r.Ok() || fail(r, "");
    }
    if (!ok)
        conn.Exec("ROLLBACK");
    conn.Exec(UNLOCK);
    return ok;
}

int LineMigrateCommand(const std::string& conninfo, std::string* message)
{
    std::string error;
    if (pq::ConnInfoHasPassword(conninfo, &error)) {
        *message = "vorlaine: the connection string holds a password; put it in ~/.pgpass or PGPASSWORD instead";
        return 2;
    }
    if (!error.empty()) {
        *message = "vorlaine: the connection string cannot be read: " + error;
        return 2;
    }
    pq::Connection conn;
    if (!conn.Open(conninfo, 10, &error)) {
        *message = "vorlaine: cannot connect to the line: " + error;
        return 1;
    }
    int applied = 0;
    if (!ApplyLineMigrations(conn, &applied, &error)) {
        *message = "vorlaine: the line's schema cannot be brought up to date: " + error;
        return 1;
    }
    const int latest = LineMigrations().empty() ? 0 : LineMigrations().back().number;
    *message = "vorlaine: the line's schema is at version " + std::to_string(latest) + " (" + std::to_string(applied) +
               " applied now)";
    return 0;
}
