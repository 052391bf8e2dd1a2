#include "linux/LinuxDefaults.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "Foundation/PropertyListSerialization.h"
#include "linux/Sysroot.h"

namespace platform::linux_machine {

std::string LinuxDefaults::pathForDomain(const std::string& domain) {
    std::string folder = environment("XDG_CONFIG_HOME").value_or(homeFolder() + "/.config");
    return folder + "/" + domain + ".plist";
}

void LinuxDefaults::keepDamagedFile(const std::string& path, const std::string& why) {
    // Never delete what the user had: move it aside under a name not yet taken.
    std::string target = path + ".damaged";
    for (int n = 2; access(target.c_str(), F_OK) == 0; ++n) target = path + ".damaged." + std::to_string(n);
    if (::rename(path.c_str(), target.c_str()) == 0) {
        machine_.writeLog("Settings file " + path + " is damaged (" + why + "); kept as " + target +
                          " and read as empty");
    } else {
        machine_.writeLog("Settings file " + path + " is damaged (" + why + ") and could not be moved aside: " +
                          std::strerror(errno));
    }
}

std::optional<PlistDictionary> LinuxDefaults::read(const std::string& domain) {
    const std::string path = pathForDomain(domain);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT)
            machine_.writeLog("Settings file " + path + " cannot be read: " + std::strerror(errno));
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        machine_.writeLog("Settings file " + path + " is not a regular file; read as empty");
        return std::nullopt;
    }
    if (::access(path.c_str(), R_OK) != 0) {
        machine_.writeLog("Settings file " + path + " cannot be read: " + std::strerror(errno));
        return std::nullopt;
    }
    std::string error;
    auto value = readPropertyListFile(path, &error);
    if (!value) {
        keepDamagedFile(path, error);
        return std::nullopt;
    }
    if (!value->dictionaryValue()) {
        keepDamagedFile(path, "its top level is not a dictionary");
        return std::nullopt;
    }
    return *value->dictionaryValue();
}

bool LinuxDefaults::write(const std::string& domain, const PlistDictionary& content) {
    const std::string path = pathForDomain(domain);
    lastWriteSucceeded_ = false;
    // A file that exists but cannot be read would be lost by replacing it with
    // a domain built from nothing: leave it alone.
    if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), R_OK) != 0) {
        machine_.writeLog("Settings file " + path + " cannot be read, so it is not replaced: " +
                          std::strerror(errno));
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    std::string error;
    if (!writeFileContents(path, xmlPropertyList(PlistValue::dictionary(content)), true, 0600, &error)) {
        machine_.writeLog("Settings file " + path + " could not be written: " + error);
        return false;
    }
    lastWriteSucceeded_ = true;
    return true;
}

}  // namespace platform::linux_machine
