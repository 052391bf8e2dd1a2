#include "sim/SimDefaults.h"

namespace platform::sim {

std::optional<PlistDictionary> SimDefaults::read(const std::string& domain) {
    auto it = domains.find(domain);
    if (it == domains.end()) return std::nullopt;
    return it->second;
}

bool SimDefaults::write(const std::string& domain, const PlistDictionary& content) {
    ++writes;
    if (failWrites) return false;
    domains[domain] = content;
    return true;
}

bool SimDefaults::flush() {
    ++flushes;
    return !failFlush;
}

}  // namespace platform::sim
