#include "Foundation/NSUserDefaults.h"

#include "machine/Machine.h"

NSUserDefaults& NSUserDefaults::standardUserDefaults() {
    static NSUserDefaults defaults;
    return defaults;
}

std::optional<NSDictionary> NSUserDefaults::persistentDomainForName(const std::string& domainName) {
    return platform::Machine::current().defaults().read(domainName);
}

void NSUserDefaults::setPersistentDomain(const NSDictionary& domain,
                                         const std::string& domainName) {
    platform::Machine::current().defaults().write(domainName, domain);
}

bool NSUserDefaults::synchronize() {
    return platform::Machine::current().defaults().flush();
}

NSUserDefaults::DomainUpdateLock NSUserDefaults::lockPersistentDomainForUpdate(
    const std::string& domainName) {
    return platform::Machine::current().defaults().lockForUpdate(domainName);
}
