// An immutable dictionary handed out by a platform call (CoreFoundation/CFDictionary.h
// has the look-ups on it).
#pragma once

#include <memory>

#include "base/PropertyList.h"

// Null when the call that should have created it failed.
using CFDictionaryRef = std::shared_ptr<const PlistDictionary>;
