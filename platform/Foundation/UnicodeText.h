// Small Unicode helpers shared by the text readers (string tables, RTF):
// UTF-8 output, UTF-8 validation and UTF-16 decoding. Plain C++, no toolkit.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Appends `codePoint` as UTF-8. False (nothing appended) for a surrogate or a
// value beyond U+10FFFF.
bool appendUTF8(std::string& out, char32_t codePoint);

// True when `bytes` is well-formed UTF-8 (no overlong forms, no surrogates).
bool isValidUTF8(std::string_view bytes);

// Decodes UTF-16 bytes (without a byte order mark) to UTF-8. Absent for an odd
// byte count or an unpaired surrogate.
std::optional<std::string> decodeUTF16(std::string_view bytes, bool bigEndian);

// Reads text that is UTF-8 (with or without a byte order mark) or UTF-16 (with
// a byte order mark, or recognised by its zero bytes) and returns it as UTF-8.
// Absent when the bytes are neither; `error` then says why.
std::optional<std::string> decodeUnicodeText(std::string_view bytes, std::string* error = nullptr);

}  // namespace platform
