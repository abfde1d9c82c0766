#pragma once
// The line's HTTP routes: the JSON views under /api/, answered with ETags so that a polling page
// costs a 304 when nothing changed, and the page's own files, from a fixed list and nothing else.
#include <string>

namespace httplib {
class Server;
}
class LineApi;

void RouteLine(httplib::Server& server, LineApi& api, const std::string& webDir);

// Where the page's files are: `given` when set, else web/ beside the executable, else the
// installed share folder.
std::string FindWebDir(const std::string& given, const std::string& argv0);
