// A small RTF reader for what credits files use: groups, control words and
// symbols, paragraphs and line breaks, tabs, bold and italic, \uN (with \ucN
// fallback skipping) and \'hh escapes in the Windows-1252 code page. Font,
// colour and style tables, document information, pictures and other
// destinations are skipped. Unknown control words are ignored, as RTF asks.
// Anything it cannot read (no "{\rtf" header, unbalanced groups, a truncated
// escape, text in a code page it does not know, nesting deeper than
// kMaxRTFGroupDepth) makes the whole read fail, never crash.
//
// Plain C++ without a toolkit, so it can be fuzzed on its own.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "AppKit/NSAttributedString.h"

namespace platform {

inline constexpr int kMaxRTFGroupDepth = 256;

std::optional<NSAttributedString> readRTF(std::string_view bytes, std::string* error = nullptr);

}  // namespace platform
