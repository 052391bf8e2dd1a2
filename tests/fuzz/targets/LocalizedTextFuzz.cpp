// The readers of a pane bundle's text resources: string tables (any bytes, as
// UTF-8 or UTF-16) and RTF credits. Damaged input must fail, never crash.
#include "AppKit/RTFReader.h"
#include "Foundation/StringsTable.h"
#include "fuzz/FuzzTarget.h"

DUOLUME_FUZZ_TARGET(strings_table) {
    std::string error;
    auto table = platform::parseStringsTable(
        std::string_view(reinterpret_cast<const char*>(data), size), &error);
    if (table) {
        volatile size_t total = 0;
        for (const auto& [key, value] : *table) total = total + key.size() + value.size();
    }
}

DUOLUME_FUZZ_TARGET(rtf_credits) {
    std::string error;
    auto text = platform::readRTF(std::string_view(reinterpret_cast<const char*>(data), size), &error);
    if (text) (void)text->string();
}
