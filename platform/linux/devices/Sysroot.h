// The Linux machine's file system root: "/" unless PLATFORM_SYSROOT names
// another folder (a virtual laptop in tests and in the demo).
#pragma once

#include <optional>
#include <string>

namespace platform::linux_machine {

// The root, without a trailing slash ("" for "/").
const std::string& sysroot();
// `absolute` ("/sys/class/...") under the root.
std::string underSysroot(const std::string& absolute);

// The environment variable's value, or absent when unset or empty.
std::optional<std::string> environment(const char* name);
// $HOME, or the password database's home folder.
std::string homeFolder();

}  // namespace platform::linux_machine
