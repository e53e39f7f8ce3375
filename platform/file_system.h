// File-system tests and directory creation used by the directory rules.
// "\" and "/" both separate path components; "\" is turned into "/" before a
// path reaches the system, so every function here accepts either.
#pragma once

#include <string>

// The path as the system takes it: every "\" replaced by "/". Callers that
// build a path from a directory rule's result pass it through this before
// opening, loading or printing it as a file name.
std::string ToSystemPath(std::string path);

// True when an entry (file or directory) exists under exactly this name:
// letter case counts even on a file system that ignores it, and a path with
// wildcard characters ("*", "?") never counts.
bool FileExists(const std::string& path);

// True when a directory search for the path finds at least one entry: "*" and
// "?" in its last component match as wildcards, any other byte as itself.
bool MatchExists(const std::string& path);

// Creates every missing directory along the path, past a drive prefix ("X:"
// and a separator) or a leading separator; a directory that cannot be made is
// skipped. False only for an empty path or one too long to walk (1024
// characters or more), for which nothing is created.
bool CreateDirectoryTree(const std::string& path);
