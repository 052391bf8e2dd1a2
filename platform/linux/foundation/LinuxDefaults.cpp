#include "linux/foundation/LinuxDefaults.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "Foundation/PropertyListSerialization.h"
#include "linux/devices/Sysroot.h"
#include "linux/foundation/SettingsFileLock.h"

namespace platform::linux_machine {
namespace {

// The whole file; absent (with the reason in `error`) when it cannot be read.
std::optional<std::string> readWholeFile(const std::string& path, std::string* error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = std::strerror(errno);
        return std::nullopt;
    }
    std::string bytes;
    char buffer[16384];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = "read error";
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return bytes;
}

}  // namespace

std::string LinuxDefaults::pathForDomain(const std::string& domain) {
    std::string folder = environment("XDG_CONFIG_HOME").value_or(homeFolder() + "/.config");
    return folder + "/" + domain + ".plist";
}

// The update lock of one file, noted while it lives so that a read inside
// the update knows the lock is already this process's.
class LinuxDefaults::HeldLock : public DefaultsStorage::UpdateLock {
  public:
    HeldLock(LinuxDefaults& owner, std::string path, std::unique_ptr<UpdateLock> lock)
        : owner_(owner), path_(std::move(path)), lock_(std::move(lock)) {
        if (lock_->held())
            owner_.lockedPaths_.insert(path_);
    }
    ~HeldLock() override {
        if (lock_->held())
            owner_.lockedPaths_.erase(path_);
    }
    bool held() const override { return lock_->held(); }

  private:
    LinuxDefaults& owner_;
    std::string path_;
    std::unique_ptr<UpdateLock> lock_;
};

std::optional<PlistDictionary> LinuxDefaults::keepDamagedFile(const std::string& path,
                                                              const std::string& bytes,
                                                              const std::string& why) {
    std::unique_ptr<HeldLock> lock;
    if (!lockedPaths_.count(path)) {
        lock = std::make_unique<HeldLock>(*this, path, tryLockSettingsFile(path));
        if (!lock->held()) {
            machine_.writeLog("Settings file " + path + " is damaged (" + why +
                              "); read as empty and left in place while another process "
                              "updates it");
            return std::nullopt;
        }
        // Looked at again under the lock: the writer that held it may have
        // replaced the damaged file with a whole one.
        std::string error;
        auto now = readWholeFile(path, &error);
        if (now && *now != bytes)
            return parse(path, std::move(*now));
    }
    // Never delete what the user had: move it aside under a name not yet taken.
    std::string target = path + ".damaged";
    for (int n = 2; access(target.c_str(), F_OK) == 0; ++n)
        target = path + ".damaged." + std::to_string(n);
    if (::rename(path.c_str(), target.c_str()) == 0) {
        machine_.writeLog("Settings file " + path + " is damaged (" + why + "); kept as " + target +
                          " and read as empty");
    } else {
        machine_.writeLog("Settings file " + path + " is damaged (" + why +
                          ") and could not be moved aside: " + std::strerror(errno));
    }
    return std::nullopt;
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
    auto bytes = readWholeFile(path, &error);
    if (!bytes)
        return keepDamagedFile(path, {}, error);
    return parse(path, std::move(*bytes));
}

std::optional<PlistDictionary> LinuxDefaults::parse(const std::string& path, std::string bytes) {
    auto last = lastParsed_.find(path);
    if (last != lastParsed_.end() && last->second.bytes == bytes)
        return last->second.dictionary;
    std::string error;
    auto value = parsePropertyList(bytes, &error);
    if (!value || !value->dictionaryValue())
        return keepDamagedFile(path, bytes, value ? "its top level is not a dictionary" : error);
    Parsed& parsed = lastParsed_[path];
    parsed.bytes = std::move(bytes);
    parsed.dictionary = *value->dictionaryValue();
    return parsed.dictionary;
}

std::unique_ptr<DefaultsStorage::UpdateLock> LinuxDefaults::lockForUpdate(
    const std::string& domain) {
    const std::string path = pathForDomain(domain);
    return std::make_unique<HeldLock>(*this, path,
                                      lockSettingsFile(machine_, path, lockWaitSeconds_));
}

bool LinuxDefaults::write(const std::string& domain, const PlistDictionary& content) {
    const std::string path = pathForDomain(domain);
    lastWriteSucceeded_ = false;
    // A file that exists but cannot be read would be lost by replacing it with
    // a domain built from nothing: leave it alone.
    if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), R_OK) != 0) {
        machine_.writeLog("Settings file " + path +
                          " cannot be read, so it is not replaced: " + std::strerror(errno));
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    std::string error;
    if (!writeFileContents(path, xmlPropertyList(PlistValue::dictionary(content)), true, 0600,
                           &error)) {
        machine_.writeLog("Settings file " + path + " could not be written: " + error);
        return false;
    }
    lastWriteSucceeded_ = true;
    return true;
}

}  // namespace platform::linux_machine
