// Reading and writing property lists (XML or binary in, XML out).
#pragma once

#include <optional>
#include <string>

#include "base/PropertyList.h"

namespace platform {

// Parses XML or binary property-list bytes. Absent when the bytes are not a
// property list; `error` then says why.
std::optional<PlistValue> parsePropertyList(const std::string& bytes, std::string* error = nullptr);

// The XML property-list form of a value.
std::string xmlPropertyList(const PlistValue& value);

// Reads a property-list file. Absent when it cannot be read or parsed; `error` says why.
std::optional<PlistValue> readPropertyListFile(const std::string& path,
                                               std::string* error = nullptr);

// Writes bytes to `path`. Atomically: a temporary file in the same folder is
// written, flushed to disk and renamed over `path`, so a reader never sees half
// a file. Not atomically: the file is truncated and written in place. `mode`
// is the permission of a newly created file. Returns false on any failure (and
// leaves an existing file whole when atomic).
bool writeFileContents(const std::string& path, const std::string& bytes, bool atomically,
                       unsigned mode = 0644, std::string* error = nullptr);

}  // namespace platform

// The platform's dictionary file operations.
std::optional<NSDictionary> dictionaryWithContentsOfFile(const std::string& path);
bool writeToFile(const NSDictionary& dictionary, const std::string& path, bool atomically);
