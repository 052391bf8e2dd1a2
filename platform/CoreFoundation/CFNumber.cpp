#include "CoreFoundation/CFNumber.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

// Integers keep their low bits (a 32-bit serial number stored as a larger
// integer reads back as the same 32-bit pattern); reals are truncated toward
// zero and saturate at the type's range. True when nothing was lost.
template <typename Int>
bool convertToInteger(const PlistValue& number, Int* out) {
    if (number.kind() != PlistValue::Kind::Real) {
        std::int64_t i = number.integerValue().value_or(0);
        *out = static_cast<Int>(i);
        return static_cast<std::int64_t>(*out) == i;
    }
    double d = number.doubleValue().value_or(0.0);
    if (std::isnan(d)) {
        *out = 0;
        return false;
    }
    constexpr double lo = static_cast<double>(std::numeric_limits<Int>::min());
    constexpr double hi = static_cast<double>(std::numeric_limits<Int>::max());
    if (d < lo) {
        *out = std::numeric_limits<Int>::min();
        return false;
    }
    if (d >= hi + 1.0) {
        *out = std::numeric_limits<Int>::max();
        return false;
    }
    *out = static_cast<Int>(d);
    return std::trunc(d) == d;
}

}  // namespace

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr) {
    if (!number || !number->isNumber() || !valuePtr)
        return false;
    switch (theType) {
        case kCFNumberSInt32Type:
            return convertToInteger(*number, static_cast<std::int32_t*>(valuePtr));
        case kCFNumberSInt64Type:
            return convertToInteger(*number, static_cast<std::int64_t*>(valuePtr));
        case kCFNumberFloat32Type: {
            double d = number->doubleValue().value_or(0.0);
            *static_cast<float*>(valuePtr) = static_cast<float>(d);
            return static_cast<double>(static_cast<float>(d)) == d;
        }
        case kCFNumberFloat64Type:
            *static_cast<double*>(valuePtr) = number->doubleValue().value_or(0.0);
            return number->kind() != PlistValue::Kind::Integer ||
                   static_cast<std::int64_t>(*static_cast<double*>(valuePtr)) ==
                       number->integerValue().value_or(0);
    }
    return false;
}
