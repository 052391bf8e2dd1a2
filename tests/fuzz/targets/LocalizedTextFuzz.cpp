// The readers of a pane bundle's text resources: string tables (any bytes, as
// UTF-8 or UTF-16) and RTF credits. Damaged input must fail, never crash; what
// is read is well-formed UTF-8, and a table written back reads the same.
#include <cstdlib>

#include "AppKit/RTFReader.h"
#include "Foundation/StringsTable.h"
#include "Foundation/UnicodeText.h"
#include "fuzz/FuzzTarget.h"

namespace {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

}  // namespace

DUOLUME_FUZZ_TARGET(strings_table) {
    std::string error;
    auto table = platform::parseStringsTable(
        std::string_view(reinterpret_cast<const char*>(data), size), &error);
    if (!table)
        return;
    std::string written;
    for (const auto& [key, value] : *table) {
        if (!platform::isValidUTF8(key) || !platform::isValidUTF8(value))
            std::abort();
        written += quoted(key) + " = " + quoted(value) + ";\n";
    }
    if (platform::parseStringsTable(written) != table)
        std::abort();
}

DUOLUME_FUZZ_TARGET(rtf_credits) {
    std::string error;
    auto text =
        platform::readRTF(std::string_view(reinterpret_cast<const char*>(data), size), &error);
    if (text && !platform::isValidUTF8(text->string()))
        std::abort();
}
