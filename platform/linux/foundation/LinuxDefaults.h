// Defaults domains as XML property-list files: $XDG_CONFIG_HOME/<domain>.plist
// (default ~/.config), read afresh at every call and replaced atomically with
// mode 0600. A file that cannot be parsed, or whose top level is not a
// dictionary, is logged, moved aside as <domain>.plist.damaged and read as an
// absent domain. It is moved only under the domain's update lock, after a
// second look: a writer holding the lock may have just put a whole file in
// its place.
//
// The file is read whole at every call; only its parse is remembered: bytes
// equal to those last parsed from the same file give that parse's
// dictionary again without a second parse. The pane reads and the engine
// reads the same file several times a second while a slider moves.
//
// An update (read, set, replace) holds the flock of "<domain>.plist.lock"
// (SettingsFileLock.h), waiting a short, bounded time for it; reads take no
// lock, the atomic replacement keeps every file they see whole.
#pragma once

#include <map>
#include <set>

#include "machine/Machine.h"

namespace platform::linux_machine {

class LinuxDefaults : public DefaultsStorage {
  public:
    explicit LinuxDefaults(Machine& machine) : machine_(machine) {}
    std::optional<PlistDictionary> read(const std::string& domain) override;
    bool write(const std::string& domain, const PlistDictionary& content) override;
    bool flush() override { return lastWriteSucceeded_; }
    std::unique_ptr<UpdateLock> lockForUpdate(const std::string& domain) override;

    // How long an update waits for another process's lock before it writes
    // without it.
    void setLockWait(double seconds) { lockWaitSeconds_ = seconds; }

    // Where the named domain lives.
    static std::string pathForDomain(const std::string& domain);

  private:
    class HeldLock;
    struct Parsed {
        std::string bytes;
        PlistDictionary dictionary;
    };
    // Moves a damaged file aside, under the lock; absent when the file read
    // again under the lock is no longer the damaged one: then its domain.
    std::optional<PlistDictionary> keepDamagedFile(const std::string& path,
                                                   const std::string& bytes,
                                                   const std::string& why);
    std::optional<PlistDictionary> parse(const std::string& path, std::string bytes);

    Machine& machine_;
    bool lastWriteSucceeded_ = true;
    double lockWaitSeconds_ = 0.25;
    std::map<std::string, Parsed> lastParsed_;  // by file path
    std::set<std::string> lockedPaths_;         // files whose update lock this process holds
};

}  // namespace platform::linux_machine
