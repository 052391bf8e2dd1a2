#include "settings/SettingsKeys.h"

#include <cstdio>

namespace duolume {

std::string curveKeyForLevel(const std::string& prefix, int level) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%d", level);
    return prefix + buf;
}

std::string curveKeyForSliderTag(long tag) {
    const bool external = tag > 99;
    const long level = external ? tag - 100 : tag;
    char buf[24];
    std::snprintf(buf, sizeof buf, "%ld", level);
    return (external ? kExternalPrefix : kInternalPrefix) + buf;
}

}  // namespace duolume
