#include "Foundation/NSProcessInfo.h"

#include <tuple>

NSOperatingSystemVersion NSProcessInfoOperatingSystemVersion() {
    return platform::Machine::current().operatingSystemVersion();
}

bool NSProcessInfoIsOperatingSystemAtLeastVersion(const NSOperatingSystemVersion& v) {
    auto c = NSProcessInfoOperatingSystemVersion();
    return std::tie(c.majorVersion, c.minorVersion, c.patchVersion) >=
           std::tie(v.majorVersion, v.minorVersion, v.patchVersion);
}

namespace platform {
int usleep(std::uint32_t usec) {
    Machine::current().sleepMicroseconds(usec);
    return 0;
}
}  // namespace platform

std::vector<std::string> NSSearchPathForDirectoriesInDomains(NSSearchPathDirectory directory,
                                                             NSSearchPathDomainMask domainMask,
                                                             bool) {
    if (directory != NSLibraryDirectory || !(domainMask & NSUserDomainMask))
        return {};
    auto folder = platform::Machine::current().userLibraryFolder();
    if (!folder)
        return {};
    return {*folder};
}
