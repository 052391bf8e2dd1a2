// The settings domain reader: any bytes in the domain file are parsed, and a
// dictionary's values are read with the settings conversions, without crashing.
#include "Foundation/PropertyListSerialization.h"
#include "fuzz/FuzzTarget.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

DUOLUME_FUZZ_TARGET(settings_domain) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    auto value = platform::parsePropertyList(bytes);
    if (!value || !value->dictionaryValue())
        return;
    std::optional<NSDictionary> domain = *value->dictionaryValue();
    volatile double sum = 0;
    for (int level = 0; level < duolume::kCurveLevels; ++level) {
        sum = sum + duolume::settingsDouble(
                        domain, duolume::curveKeyForLevel(duolume::kInternalPrefix, level));
        sum = sum + duolume::settingsDouble(
                        domain, duolume::curveKeyForLevel(duolume::kExternalPrefix, level));
    }
    sum = sum + duolume::settingsBool(domain, duolume::kEnabledKey);
    (void)platform::xmlPropertyList(*value);
}
