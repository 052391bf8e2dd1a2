// CoreGraphics display types.
#pragma once

#include <cstdint>

using CGDirectDisplayID = std::uint32_t;
using CGDisplayCount = std::uint32_t;
using CGError = std::int32_t;

inline constexpr CGError kCGErrorSuccess = 0;
inline constexpr CGError kCGErrorFailure = 1000;
inline constexpr CGError kCGErrorIllegalArgument = 1001;
