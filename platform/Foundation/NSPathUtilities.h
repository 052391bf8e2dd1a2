// Path strings as the platform's string category handles them: components
// joined with exactly one "/", extensions after the last ".".
#pragma once

#include <string>

// `path` + "/" + `component`, without doubled or trailing slashes.
// An empty `path` gives `component` alone.
std::string stringByAppendingPathComponent(const std::string& path, const std::string& component);
// The text after the last "." of the last path component; empty when it has none.
std::string pathExtension(const std::string& path);
// The last path component ("/a/b.plist" gives "b.plist").
std::string lastPathComponent(const std::string& path);
// The path without its last component ("/a/b" gives "/a", "/a" gives "/").
std::string stringByDeletingLastPathComponent(const std::string& path);
