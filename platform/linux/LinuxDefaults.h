// Defaults domains as XML property-list files: $XDG_CONFIG_HOME/<domain>.plist
// (default ~/.config), read afresh at every call and replaced atomically with
// mode 0600. A file that cannot be parsed, or whose top level is not a
// dictionary, is logged, moved aside as <domain>.plist.damaged and read as an
// absent domain.
#pragma once

#include "Machine.h"

namespace platform::linux_machine {

class LinuxDefaults : public DefaultsStorage {
public:
    explicit LinuxDefaults(Machine& machine) : machine_(machine) {}
    std::optional<PlistDictionary> read(const std::string& domain) override;
    bool write(const std::string& domain, const PlistDictionary& content) override;
    bool flush() override { return lastWriteSucceeded_; }

    // Where the named domain lives.
    static std::string pathForDomain(const std::string& domain);

private:
    void keepDamagedFile(const std::string& path, const std::string& why);
    Machine& machine_;
    bool lastWriteSucceeded_ = true;
};

}  // namespace platform::linux_machine
