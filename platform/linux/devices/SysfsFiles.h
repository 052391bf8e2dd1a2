// Small, allocation-light helpers for reading sysfs-shaped folders: attribute
// files, class entries (symbolic links into the device tree) and the folders
// they lead to. Every helper answers "absent" instead of failing loudly, so a
// device that vanishes between two reads is simply not there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::linux_machine {

// Names in a folder (no "." or ".."), sorted; empty when the folder is missing.
// `error` (when given) is set to the errno of a folder that exists but cannot be read.
std::vector<std::string> folderEntries(const std::string& folder, int* error = nullptr);

// A whole file of at most `limit` bytes, read with plain system calls.
std::optional<std::vector<std::uint8_t>> readBinaryFile(const std::string& path,
                                                        std::size_t limit = 65536);
// A whole text file of at most `limit` bytes.
std::optional<std::string> readTextFile(const std::string& path, std::size_t limit = 65536);
// The first line of an attribute file without surrounding white space.
std::optional<std::string> readAttribute(const std::string& path);
// A whole non-negative decimal number from an attribute file; absent when
// missing, negative or garbled. `error` (when given) is set to the errno of a
// failed read, EBADMSG for a garbled content, 0 on success.
std::optional<long long> readCount(const std::string& path, int* error = nullptr);

// A finite decimal number ("123", "0.250000", "-5") filling the whole text,
// surrounding white space allowed, parsed the same way whatever the
// process's locale (a Qt program sets the user's, whose decimal separator
// may be a comma); absent when garbled.
std::optional<double> parseDecimal(std::string_view text);
// The first line of an attribute file as such a number.
std::optional<double> readDecimal(const std::string& path);

// The folder a link (or a path through links) leads to, absolute and without links.
std::optional<std::string> resolvedPath(const std::string& path);
// The last component of what a symbolic link points to ("card0-eDP-1" for
// "../../card0-eDP-1"); one system call, for links whose target is named by
// its last component, as sysfs device and driver links are.
std::optional<std::string> linkTargetName(const std::string& link);
// The last component of a path.
std::string baseName(const std::string& path);
// The folder holding a path ("" for a bare name).
std::string parentFolder(const std::string& path);
bool pathExists(const std::string& path);

}  // namespace platform::linux_machine
