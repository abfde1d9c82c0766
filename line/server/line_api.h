#pragma once
// The line's read-only JSON API: each view is one function of its query parameters, answered from
// PostgreSQL through connections that act as the reader role and read only. Independent of HTTP,
// so the server only routes.
#include "line_config.h"
#include "pq.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using ApiParams = std::multimap<std::string, std::string>;

struct ApiReply {
    int status = 200;
    std::string body; // JSON
};

// Opens a connection that acts as vorlaine_reader, in read-only transactions: whatever the log-in
// role may do, the views can only select.
bool OpenReaderConnection(pq::Connection& conn, const std::string& conninfo, std::string* error);

class LineApi {
public:
    LineApi(std::string conninfo, LineConfig config);
    LineApi(const LineApi&) = delete;
    LineApi& operator=(const LineApi&) = delete;

    // The view's name ("status", "yield", "pareto", "channel", "capability", "health", "config").
    // Safe to call from many threads at once.
    ApiReply Handle(const std::string& view, const ApiParams& params);

private:
    class Lease;
    std::unique_ptr<pq::Connection> Acquire(std::string* error);
    void Release(std::unique_ptr<pq::Connection> conn);

    const std::string conninfo_;
    const LineConfig config_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<pq::Connection>> idle_; // under mutex_
};
