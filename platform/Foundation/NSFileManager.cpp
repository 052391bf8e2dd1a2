#include "Foundation/NSFileManager.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "Foundation/NSPathUtilities.h"
#include "machine/Machine.h"

namespace {

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// mkdir with the parents first; an existing folder anywhere on the way is fine.
bool makeFolders(const std::string& path, mode_t mode) {
    if (path.empty() || isFolder(path))
        return true;
    std::string parent = stringByDeletingLastPathComponent(path);
    if (!parent.empty() && parent != path && !makeFolders(parent, mode))
        return false;
    return ::mkdir(path.c_str(), mode) == 0 || (errno == EEXIST && isFolder(path));
}

}  // namespace

NSFileManager& NSFileManager::defaultManager() {
    static NSFileManager manager;
    return manager;
}

bool NSFileManager::createDirectoryAtPath(const std::string& path, bool withIntermediateDirectories,
                                          const NSDictionary* attributes, std::string* error) {
    platform::Machine::current().recordCall("createDirectoryAtPath(" + path + ", " +
                                            (withIntermediateDirectories ? "YES" : "NO") + ")");
    mode_t mode = 0777;  // narrowed by the process's umask, as for any new folder
    if (attributes) {
        if (auto p = plistLookup(*attributes, NSFilePosixPermissions); p && p->integerValue()) {
            mode = static_cast<mode_t>(*p->integerValue() & 07777);
        }
    }
    bool ok =
        withIntermediateDirectories ? makeFolders(path, mode) : ::mkdir(path.c_str(), mode) == 0;
    if (!ok && error)
        *error = std::strerror(errno);
    if (ok && attributes && mode != 0777)
        ::chmod(path.c_str(), mode);
    return ok;
}
