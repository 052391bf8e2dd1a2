// Defaults domains kept in memory, with injectable write failures and a
// journal of the storage operations ("read", "write", "flush", "lock",
// "unlock") in the order they happen.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "machine/Machine.h"

namespace platform::sim {

class SimDefaults : public DefaultsStorage {
  public:
    std::optional<PlistDictionary> read(const std::string& domain) override;
    bool write(const std::string& domain, const PlistDictionary& content) override;
    bool flush() override;
    // Granted at once, unless `lockHeldElsewhere` stands for another process
    // holding it: then the wait runs out, is logged, and nothing is held.
    std::unique_ptr<UpdateLock> lockForUpdate(const std::string& domain) override;

    std::map<std::string, PlistDictionary> domains;
    int writes = 0;
    int flushes = 0;
    bool failWrites = false;
    bool failFlush = false;
    bool lockHeldElsewhere = false;
    bool locked = false;
    std::vector<std::string> journal;
};

}  // namespace platform::sim
