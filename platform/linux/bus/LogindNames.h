// systemd-logind's names on the system bus (systemd v252,
// man/org.freedesktop.login1.xml): the bus name, the manager object and the
// sessions' objects and interfaces.
#pragma once

namespace platform::linux_machine::logind {

inline constexpr const char* kName = "org.freedesktop.login1";
inline constexpr const char* kManagerPath = "/org/freedesktop/login1";
inline constexpr const char* kManagerInterface = "org.freedesktop.login1.Manager";
inline constexpr const char* kSessionInterface = "org.freedesktop.login1.Session";
// Each session's object lives below this folder, by its escaped id.
inline constexpr const char* kSessionFolder = "/org/freedesktop/login1/session/";
// The session of the process that calls.
inline constexpr const char* kOwnSessionPath = "/org/freedesktop/login1/session/auto";

}  // namespace platform::linux_machine::logind
