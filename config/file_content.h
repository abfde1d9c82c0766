#pragma once
// A file's whole content, read in one go, and replaced so that a crash or a kill at any moment
// leaves either the old file or the new one: a temporary file beside it, written, flushed,
// renamed over it.
#include <optional>
#include <string>
#include <string_view>

struct FileFailure {
    const char* step = ""; // what failed, ready to be followed by the path: "Cannot write "
    int err = 0;           // the errno of that step
    std::string Reason() const; // the system's text for err
};

// Reads the whole file into `content`.
std::optional<FileFailure> ReadFileContent(const std::string& path, std::string& content);

// Through a symbolic link (or a chain of them) the linked file is replaced and the link stays; a
// dangling link's target is created. An existing file keeps its owner, group and permissions; a
// new one gets 0666 less the umask. On failure, keeping the owner included, the old file is
// untouched and no temporary file stays behind.
std::optional<FileFailure> ReplaceFileContent(const std::string& path, std::string_view content);
