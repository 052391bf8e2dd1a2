// Defaults domains kept in memory, with injectable write failures.
#pragma once

#include <map>
#include <string>

#include "Machine.h"

namespace platform::sim {

class SimDefaults : public DefaultsStorage {
public:
    std::optional<PlistDictionary> read(const std::string& domain) override;
    bool write(const std::string& domain, const PlistDictionary& content) override;
    bool flush() override;

    std::map<std::string, PlistDictionary> domains;
    int writes = 0;
    int flushes = 0;
    bool failWrites = false;
    bool failFlush = false;
};

}  // namespace platform::sim
