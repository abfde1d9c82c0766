#pragma once
// The release history shown by the board information dialog: three CR LF lines per release,
// newest first.
#include <string>

extern std::string releaseHistory;

void BuildReleaseHistory();
int ReleaseHistoryEntries();
