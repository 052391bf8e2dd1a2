#include "settings/SettingsStore.h"

#include "Foundation/NSDistributedNotificationCenter.h"
#include "Foundation/NSUserDefaults.h"
#include "settings/ProductIdentifier.h"
#include "settings/SettingsKeys.h"

namespace duolume {

std::optional<NSDictionary> fetchSettings() {
    return NSUserDefaults::standardUserDefaults().persistentDomainForName(ProductIdentifier);
}

std::optional<PlistValue> settingsNumber(const std::optional<NSDictionary>& domain,
                                         const std::string& key) {
    if (!domain)
        return std::nullopt;
    auto it = domain->find(key);
    if (it == domain->end() || !it->second.isNumber())
        return std::nullopt;
    return it->second;
}

bool settingsBool(const std::optional<NSDictionary>& domain, const std::string& key) {
    auto v = settingsNumber(domain, key);
    return v && v->boolValue().value_or(false);
}

double settingsDouble(const std::optional<NSDictionary>& domain, const std::string& key) {
    auto v = settingsNumber(domain, key);
    return v ? v->doubleValue().value_or(0.0) : 0.0;
}

NSDictionary initialSettings() {
    NSDictionary d;
    d[kEnabledKey] = PlistValue::boolean(false);
    d[kSingleMonitorDisabledKey] = PlistValue::boolean(false);
    for (int level = 0; level < kCurveLevels; ++level) {
        const float value = static_cast<float>(level) / 10.0f;
        d[curveKeyForLevel(kInternalPrefix, level)] = PlistValue::realSingle(value);
        d[curveKeyForLevel(kExternalPrefix, level)] = PlistValue::realSingle(value);
    }
    return d;
}

void writeInitialSettings(const NSDictionary& settings) {
    auto& defaults = NSUserDefaults::standardUserDefaults();
    defaults.setPersistentDomain(settings, ProductIdentifier);
    defaults.synchronize();
}

void setPrefsForKey(const PlistValue& value, const std::string& key) {
    auto& defaults = NSUserDefaults::standardUserDefaults();
    {
        // Another process setting another key at the same moment waits here
        // instead of replacing the domain with a copy that lacks this change.
        auto lock = defaults.lockPersistentDomainForUpdate(ProductIdentifier);
        NSDictionary copy =
            defaults.persistentDomainForName(ProductIdentifier).value_or(NSDictionary{});
        copy[key] = value;
        defaults.setPersistentDomain(copy, ProductIdentifier);
        defaults.synchronize();  // a failed flush is ignored; the change is announced all the same
    }
    NSDistributedNotificationCenter::defaultCenter().postNotificationName(PrefsChangedNotification);
}

}  // namespace duolume
