#include "pq.h"

#include <cstring>

namespace pq {
namespace {
struct ParamArrays {
    std::vector<const char*> values;
    explicit ParamArrays(const std::vector<Param>& params)
    {
        values.reserve(params.size());
        for (const Param& p : params)
            values.push_back(p ? p->c_str() : nullptr);
    }
};
} // namespace

Result& Result::operator=(Result&& other) noexcept
{
    if (this != &other) {
        PQclear(result_);
        result_ = other.result_;
        other.result_ = nullptr;
    }
    return *this;
}

bool Result::Ok() const
{
    const ExecStatusType s = result_ ? PQresultStatus(result_) : PGRES_FATAL_ERROR;
    return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
}

std::string Result::SqlState() const
{
    const char* state = result_ ? PQresultErrorField(result_, PG_DIAG_SQLSTATE) : nullptr;
    return state ? state : "";
}

std::string Result::Error() const
{
    if (!result_)
        return "no result";
    if (const char* primary = PQresultErrorField(result_, PG_DIAG_MESSAGE_PRIMARY))
        return primary;
    return FirstLine(PQresultErrorMessage(result_));
}

bool Result::DataRefused() const
{
    const std::string state = SqlState();
    return state.rfind("22", 0) == 0 || state.rfind("23", 0) == 0;
}

std::string Result::Text(int row, int column) const
{
    const char* v = PQgetvalue(result_, row, column);
    return v ? std::string(v, static_cast<std::size_t>(PQgetlength(result_, row, column))) : std::string();
}

bool Connection::Open(const std::string& conninfo, int connectTimeoutS, std::string* error)
{
    Close();
    const std::string timeout = std::to_string(connectTimeoutS);
    // A dead peer is noticed within 20 s instead of the kernel's default of many minutes.
    const char* keys[] = {"connect_timeout", "application_name", "tcp_user_timeout", "client_encoding", "dbname",
                          nullptr};
    const char* values[] = {timeout.c_str(), "vorlaine", "20000", "UTF8", conninfo.c_str(), nullptr};
    conn_ = PQconnectdbParams(keys, values, 1);
    if (IsOpen()) {
        // Notices ("already exists, skipping") are not for the operator's terminal.
        PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
        return true;
    }
    if (error)
        *error = FirstLine(conn_ ? PQerrorMessage(conn_) : "out of memory");
    Close();
    return false;
}

void Connection::Close()
{
    if (conn_)
        PQfinish(conn_);
    conn_ = nullptr;
}

Result Connection::Exec(const char* sql)
{
    return Result(conn_ ? PQexec(conn_, sql) : nullptr);
}

Result Connection::Exec(const char* sql, const std::vector<Param>& params)
{
    if (!conn_)
        return Result();
    const ParamArrays a(params);
    return Result(PQexecParams(conn_, sql, static_cast<int>(params.size()), nullptr, a.values.data(), nullptr,
                               nullptr, 0));
}

bool Connection::Prepare(const char* name, const char* sql, std::string* error)
{
    Result r(conn_ ? PQprepare(conn_, name, sql, 0, nullptr) : nullptr);
    if (r.Ok())
        return true;
    if (error)
        *error = r.Error();
    return false;
}

Result Connection::ExecPrepared(const char* name, const std::vector<Param>& params)
{
    if (!conn_)
        return Result();
    const ParamArrays a(params);
    return Result(
        PQexecPrepared(conn_, name, static_cast<int>(params.size()), a.values.data(), nullptr, nullptr, 0));
}

std::string Connection::LastError() const
{
    return conn_ ? FirstLine(PQerrorMessage(conn_)) : "not connected";
}

bool ConnInfoHasPassword(const std::string& conninfo, std::string* error)
{
    char* message = nullptr;
    PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &message);
    if (!options) {
        if (error)
            *error = FirstLine(message ? message : "cannot be read");
        PQfreemem(message);
        return false;
    }
    bool found = false;
    for (PQconninfoOption* o = options; o->keyword; ++o)
        found = found || (std::strcmp(o->keyword, "password") == 0 && o->val && *o->val);
    PQconninfoFree(options);
    return found;
}

std::string FirstLine(const std::string& message)
{
    std::string line = message.substr(0, message.find('\n'));
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r'))
        line.pop_back();
    return line;
}

} // namespace pq
