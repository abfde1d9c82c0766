#pragma once
// Only one instance shows a window: a later start waits, showing nothing, until the running one has
// ended, then opens its own window. The kernel drops the lock when its holder ends in any way.
#include <string>

inline constexpr char SINGLE_INSTANCE_NAME[] = "{A3F31077923E447CB7E532595EF67D21}";

// The lock file: $XDG_RUNTIME_DIR/<name>.lock, else /tmp.
std::string SingleInstanceLockPath(const std::string& name = SINGLE_INSTANCE_NAME);

// Blocks until this process holds the lock and keeps it for the life of the process.
// Returns false only when the lock file cannot be opened at all; the caller then runs anyway.
bool AcquireSingleInstance(const std::string& name = SINGLE_INSTANCE_NAME);
