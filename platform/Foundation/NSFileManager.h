// The file manager: folders and file existence on the machine's file system.
#pragma once

#include <string>

#include "base/PropertyList.h"

// The one attribute honoured when creating a folder: its permission bits (a number).
inline const std::string NSFilePosixPermissions = "NSFilePosixPermissions";

class NSFileManager {
  public:
    static NSFileManager& defaultManager();

    // Creates the folder at `path`. With `withIntermediateDirectories` missing
    // parents are made too and an existing folder counts as success; without
    // it the parent must exist and an existing folder is a failure. Returns
    // false on failure and, when `error` is given, says why.
    bool createDirectoryAtPath(const std::string& path, bool withIntermediateDirectories,
                               const NSDictionary* attributes, std::string* error);
};
