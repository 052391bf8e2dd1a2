// User defaults: whole persistent domains, read afresh at every call.
#pragma once

#include <optional>
#include <string>

#include "CoreFoundation/PropertyList.h"

class NSUserDefaults {
public:
    static NSUserDefaults& standardUserDefaults();

    // The whole named domain, or absent when it does not exist.
    std::optional<NSDictionary> persistentDomainForName(const std::string& domainName);
    // Replaces the whole named domain.
    void setPersistentDomain(const NSDictionary& domain, const std::string& domainName);
    // Makes earlier changes durable so other processes read them.
    bool synchronize();
};
