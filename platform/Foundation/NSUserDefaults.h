// User defaults: whole persistent domains, read afresh at every call.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "base/PropertyList.h"
#include "machine/Machine.h"

class NSUserDefaults {
  public:
    static NSUserDefaults& standardUserDefaults();

    // The whole named domain, or absent when it does not exist.
    std::optional<NSDictionary> persistentDomainForName(const std::string& domainName);
    // Replaces the whole named domain.
    void setPersistentDomain(const NSDictionary& domain, const std::string& domainName);
    // Makes earlier changes durable so other processes read them.
    bool synchronize();

    // Keeps other processes from replacing the named domain while the
    // returned lock lives, so that a read, a change and the replacement
    // happen as one. The wait for another holder is bounded; when it runs
    // out, that is logged and the caller goes ahead without the lock.
    // Readers never need it. (The stored files are shared by every process
    // of the user; nothing else serialises their writers.)
    using DomainUpdateLock = std::unique_ptr<platform::DefaultsStorage::UpdateLock>;
    DomainUpdateLock lockPersistentDomainForUpdate(const std::string& domainName);
};
