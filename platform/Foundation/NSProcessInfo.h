// The running system: its version, sleeping, the user's folders.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "machine/Machine.h"

using NSOperatingSystemVersion = platform::OperatingSystemVersion;

NSOperatingSystemVersion NSProcessInfoOperatingSystemVersion();
bool NSProcessInfoIsOperatingSystemAtLeastVersion(const NSOperatingSystemVersion& version);

namespace platform {
// Suspends the calling thread (virtual time on the simulated machine).
int usleep(std::uint32_t usec);
}  // namespace platform

enum NSSearchPathDirectory : unsigned long { NSLibraryDirectory = 5 };
enum NSSearchPathDomainMask : unsigned long { NSUserDomainMask = 1 };
std::vector<std::string> NSSearchPathForDirectoriesInDomains(NSSearchPathDirectory directory,
                                                             NSSearchPathDomainMask domainMask,
                                                             bool expandTilde);
