// Immutable dictionaries handed out by platform calls (such as a display
// service's info dictionary), and the look-ups made on them.
#pragma once

#include <memory>
#include <string>

#include "base/CFBase.h"
#include "base/CFDictionaryRef.h"
#include "base/PropertyList.h"

// True when `key` is present; `*value` then points at its value, which stays
// valid until the dictionary is released. A null dictionary has no keys.
Boolean CFDictionaryGetValueIfPresent(const CFDictionaryRef& theDict, const std::string& key,
                                      const PlistValue** value);

// Releases the caller's reference and leaves `cf` null.
void CFRelease(CFDictionaryRef& cf);
