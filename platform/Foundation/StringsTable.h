// The string table format of localized resources (Localizable.strings,
// InfoPlist.strings):
//
//   /* comment */  // comment
//   "key" = "value";
//   "key";                      (the key is its own value)
//   unquotedKey = "value";
//
// Quoted strings take the escapes \n \t \r \" \\ \uXXXX \UXXXX (UTF-16 units,
// surrogate pairs joined) and octal \NNN. Files are UTF-8 or UTF-16.
// Plain C++ without a toolkit, so it can be fuzzed on its own.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

using StringsTable = std::map<std::string, std::string>;

// Parses a whole table file. Absent when any part of it is damaged (a table
// is used whole or not at all); `error` then says what and on which line.
// A later entry for the same key replaces an earlier one.
std::optional<StringsTable> parseStringsTable(std::string_view bytes, std::string* error = nullptr);

}  // namespace platform
