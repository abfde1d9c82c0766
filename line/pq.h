#pragma once
// A small RAII wrapper over libpq: a connection, a result, and queries whose values always travel
// as parameters, so no SQL is ever built from a value's text.
#include <libpq-fe.h>

#include <optional>
#include <string>
#include <vector>

namespace pq {

using Param = std::optional<std::string>; // nullopt is SQL NULL

class Result {
public:
    Result() = default;
    explicit Result(PGresult* result) : result_(result) {}
    ~Result() { PQclear(result_); }
    Result(Result&& other) noexcept : result_(other.result_) { other.result_ = nullptr; }
    Result& operator=(Result&& other) noexcept;
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;

    [[nodiscard]] bool Ok() const;
    // The five-character SQLSTATE; empty when the server sent none (the connection broke).
    std::string SqlState() const;
    // The server's primary message, or libpq's own.
    std::string Error() const;
    // Refused for its data (SQLSTATE class 22 or 23), as opposed to a line or server problem.
    bool DataRefused() const;
    int Rows() const { return result_ ? PQntuples(result_) : 0; }
    bool IsNull(int row, int column) const { return PQgetisnull(result_, row, column) != 0; }
    std::string Text(int row, int column) const;

private:
    PGresult* result_ = nullptr;
};

class Connection {
public:
    Connection() = default;
    ~Connection() { Close(); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // `conninfo` as libpq takes it (key=value or a URI); its own settings win over the
    // connection timeout and the application name given here.
    bool Open(const std::string& conninfo, int connectTimeoutS, std::string* error);
    void Close();
    bool IsOpen() const { return conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK; }

    // Fixed SQL text only, possibly several statements.
    Result Exec(const char* sql);
    Result Exec(const char* sql, const std::vector<Param>& params);
    bool Prepare(const char* name, const char* sql, std::string* error);
    Result ExecPrepared(const char* name, const std::vector<Param>& params);
    std::string LastError() const;

private:
    PGconn* conn_ = nullptr;
};

// Whether a conninfo carries a password: passwords belong in ~/.pgpass or the environment.
bool ConnInfoHasPassword(const std::string& conninfo, std::string* error);
// The first line of libpq's message, for a status bar.
std::string FirstLine(const std::string& message);

} // namespace pq
