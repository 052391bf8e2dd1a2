// Bundles: folders laid out as on the original platform
// (Contents/Info.plist, Contents/MacOS/, Contents/Resources/, <lang>.lproj/).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/PropertyList.h"

class NSBundle {
  public:
    // The bundle at `path`, or null when no folder is there.
    static std::shared_ptr<NSBundle> bundleWithPath(const std::string& path);

    const std::string& bundlePath() const { return path_; }
    std::string resourcePath() const { return path_ + "/Contents/Resources"; }

    // The full path of resource `name` with extension `type` ("app", "plist"),
    // looked up in Resources and then in the user's language folders; absent
    // when there is no such file or folder.
    std::optional<std::string> pathForResource(const std::string& name,
                                               const std::string& type) const;
    std::optional<std::string> URLForResource(const std::string& name,
                                              const std::string& extension) const {
        return pathForResource(name, extension);
    }

    // The main executable: Contents/MacOS/<CFBundleExecutable>, or
    // Contents/MacOS/<bundle name> when the info dictionary names none.
    std::optional<std::string> executablePath() const;

    // The bundle's <name>.lproj folders that serve the user, best first: the
    // user's preferred languages, then the development region, then Base.
    std::vector<std::string> preferredLocalizations() const;

    // Contents/Info.plist, read when first asked for; empty when missing or damaged.
    const NSDictionary& infoDictionary() const;
    // The info dictionary with the entries of <lang>.lproj/InfoPlist.strings of
    // the user's preferred language laid over it.
    NSDictionary localizedInfoDictionary() const;
    // The text for `key` in string table `table` ("Localizable" when empty)
    // of the user's language; `value` (or the key itself when `value` is
    // empty) when the table has no entry.
    std::string localizedStringForKey(const std::string& key, const std::string& value,
                                      const std::string& table) const;

    explicit NSBundle(std::string path) : path_(std::move(path)) {}

  private:
    std::string path_;
    mutable std::optional<NSDictionary> info_;
};
