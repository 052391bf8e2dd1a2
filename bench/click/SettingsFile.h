// The pane's settings file as another program sees it: seeded before the
// window opens, read for one key's number, and watched (inotify on its folder,
// where the pane replaces it by renaming a new file over it) so that a change
// is seen the moment it lands.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace click_bench {

class SettingsFile {
  public:
    explicit SettingsFile(std::string path);
    ~SettingsFile();
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;

    const std::string& path() const { return path_; }
    // Writes a whole domain of switches (true/false) and curve values (reals)
    // as an XML property list, as the pane itself would have written it.
    void write(const std::map<std::string, bool>& switches,
               const std::map<std::string, double>& curve) const;
    // The number stored for `key`, or absent (no file, no key, not a number).
    std::optional<double> number(const std::string& key) const;

    // Readable when something in the file's folder was written or renamed;
    // drain() empties it again.
    int changeDescriptor() const { return inotify_; }
    void drain() const;

  private:
    std::string path_;
    int inotify_ = -1;
};

}  // namespace click_bench
