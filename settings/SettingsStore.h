// The settings domain: read afresh at every use, written only through
// setPrefsForKey (the pane's setPrefs:forKey:), and created with the initial
// settings on the pane's first load.
#pragma once

#include <optional>
#include <string>

#include "base/PropertyList.h"

namespace duolume {

// The whole domain, fetched afresh; absent when it does not exist.
std::optional<NSDictionary> fetchSettings();

// Conversions on reading. A number of any kind or a boolean reads as a
// number; anything else (a string, a date, ...) reads as absent.
// A switch key is true when present and non-zero; absent reads as false.
bool settingsBool(const std::optional<NSDictionary>& domain, const std::string& key);
// A curve key as a double; absent reads as 0.0.
double settingsDouble(const std::optional<NSDictionary>& domain, const std::string& key);
// The stored value when it reads as a number, else absent.
std::optional<PlistValue> settingsNumber(const std::optional<NSDictionary>& domain,
                                         const std::string& key);

// The 24 initial settings: both switches false, both curves level / 10 as
// single-precision reals.
NSDictionary initialSettings();

// Stores the initial settings as the whole domain and flushes. Posts nothing.
void writeInitialSettings(const NSDictionary& settings);

// The one write path: fetch the domain, set `value` for `key` in a copy,
// store the copy as the whole domain, flush, and post the change notification
// with no object, in that order. Every call posts, also for an unchanged value.
// The domain's update lock is held from the fetch to the flush, so concurrent
// writers of different keys lose neither change.
void setPrefsForKey(const PlistValue& value, const std::string& key);

}  // namespace duolume
