// Basic CoreFoundation types and constants used across the platform layer.
#pragma once

#include <cstdint>

using Boolean = bool;
using CFIndex = long;
using CFTimeInterval = double;
using CFAbsoluteTime = double;
using CFOptionFlags = unsigned long;
using SInt32 = std::int32_t;
using UInt32 = std::uint32_t;
using SInt64 = std::int64_t;

// The allocator argument is accepted for the platform's call shapes; memory is
// always managed by C++ here.
struct __CFAllocator;
using CFAllocatorRef = const __CFAllocator*;
inline constexpr CFAllocatorRef kCFAllocatorDefault = nullptr;

// Seconds between 1970-01-01 (Unix epoch) and 2001-01-01 (the platform's reference date).
inline constexpr double kCFAbsoluteTimeIntervalSince1970 = 978307200.0;
