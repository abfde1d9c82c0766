#include "line_http.h"

#include "line_api.h"

#include <httplib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {
struct PageFile {
    const char* path; // as requested
    const char* file; // under the web folder
    const char* type;
};
// Only these are served: a request names an entry, never a file.
constexpr PageFile PAGE_FILES[] = {
    {"/", "index.html", "text/html; charset=utf-8"},
    {"/index.html", "index.html", "text/html; charset=utf-8"},
    {"/app.js", "app.js", "text/javascript; charset=utf-8"},
    {"/i18n.js", "i18n.js", "text/javascript; charset=utf-8"},
    {"/style.css", "style.css", "text/css; charset=utf-8"},
    {"/uPlot.iife.min.js", "uPlot.iife.min.js", "text/javascript; charset=utf-8"},
    {"/uPlot.min.css", "uPlot.min.css", "text/css; charset=utf-8"},
};

std::string ETag(const std::string& body)
{
    std::uint64_t h = 1469598103934665603ULL; // FNV-1a
    for (unsigned char c : body) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    char text[24];
    std::snprintf(text, sizeof text, "\"%016llx\"", static_cast<unsigned long long>(h));
    return text;
}

void Send(const httplib::Request& req, httplib::Response& res, int status, const std::string& body, const char* type)
{
    res.set_header("Cache-Control", "no-cache");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("Content-Security-Policy",
                   "default-src 'self'; style-src 'self' 'unsafe-inline'; img-src 'self' data:; object-src 'none'");
    if (status != 200) {
        res.status = status;
        res.set_content(body, type);
        return;
    }
    const std::string tag = ETag(body);
    res.set_header("ETag", tag);
    if (req.get_header_value("If-None-Match") == tag) {
        res.status = 304;
        return;
    }
    res.status = 200;
    res.set_content(body, type);
}
} // namespace

void RouteLine(httplib::Server& server, LineApi& api, const std::string& webDir)
{
    // A connection holds one of the library's few threads for as long as it stays open: every
    // request gets its own, so polling pages cannot starve the others.
    server.set_keep_alive_max_count(1);
    server.set_read_timeout(10, 0);
    server.Get(R"(/api/([a-z]+))", [&api](const httplib::Request& req, httplib::Response& res) {
        const ApiReply reply = api.Handle(req.matches[1].str(), req.params);
        Send(req, res, reply.status, reply.body, "application/json; charset=utf-8");
    });
    for (const PageFile& f : PAGE_FILES) {
        const std::string file = (std::filesystem::path(webDir) / f.file).string();
        const char* type = f.type;
        server.Get(f.path, [file, type](const httplib::Request& req, httplib::Response& res) {
            std::ifstream in(file, std::ios::binary);
            if (!in) {
                Send(req, res, 404, "not installed", "text/plain; charset=utf-8");
                return;
            }
            std::ostringstream body;
            body << in.rdbuf();
            Send(req, res, 200, body.str(), type);
        });
    }
    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty())
            res.set_content(res.status == 404 ? "not found" : "refused", "text/plain; charset=utf-8");
    });
}

std::string FindWebDir(const std::string& given, const std::string& argv0)
{
    namespace fs = std::filesystem;
    if (!given.empty())
        return given;
    std::error_code ec;
    const fs::path exe = fs::canonical("/proc/self/exe", ec);
    const fs::path dir = ec ? fs::path(argv0).parent_path() : exe.parent_path();
    for (const fs::path& candidate : {dir / "web", dir / ".." / "share" / "vorlaine" / "web"})
        if (fs::exists(candidate / "index.html", ec))
            return candidate.string();
    return (dir / "web").string();
}
