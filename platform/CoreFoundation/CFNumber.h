// Reading numbers found in dictionaries as C types.
#pragma once

#include "base/CFBase.h"
#include "base/PropertyList.h"

using CFNumberRef = const PlistValue*;

enum CFNumberType : CFIndex {
    kCFNumberSInt32Type = 3,
    kCFNumberSInt64Type = 4,
    kCFNumberFloat32Type = 5,
    kCFNumberFloat64Type = 6,
};

// Writes the number converted to `theType` at `valuePtr`. False when the
// conversion was lossy (the converted value is still written) or, writing
// nothing, when `number` is not a number or the type is not one of the above.
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr);
