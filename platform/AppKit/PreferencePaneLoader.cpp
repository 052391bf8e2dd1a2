#include "AppKit/PreferencePaneLoader.h"

#include <dlfcn.h>
#include <sys/stat.h>

namespace {

bool isFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string infoString(const NSBundle& bundle, const std::string& key) {
    auto it = bundle.infoDictionary().find(key);
    return it != bundle.infoDictionary().end() && it->second.stringValue()
               ? *it->second.stringValue()
               : std::string();
}

// Contents/MacOS/<CFBundleExecutable>, or the same with ".so" appended.
std::string sharedObjectPath(const NSBundle& bundle) {
    if (auto path = bundle.executablePath())
        return *path;
    std::string name = infoString(bundle, "CFBundleExecutable");
    if (name.empty())
        return {};
    const std::string path = bundle.bundlePath() + "/Contents/MacOS/" + name + ".so";
    return isFile(path) ? path : std::string();
}

}  // namespace

std::unique_ptr<NSPreferencePane> loadPreferencePane(const std::string& bundlePath,
                                                     std::string* error) {
    auto fail = [&](const std::string& why) -> std::unique_ptr<NSPreferencePane> {
        if (error)
            *error = why;
        return nullptr;
    };
    auto bundle = NSBundle::bundleWithPath(bundlePath);
    if (!bundle)
        return fail("no bundle at " + bundlePath);
    const std::string principalClass = infoString(*bundle, "NSPrincipalClass");
    if (principalClass.empty())
        return fail(bundlePath + " names no NSPrincipalClass");
    const std::string executable = sharedObjectPath(*bundle);
    if (executable.empty())
        return fail(bundlePath + " has no executable");
    void* handle = ::dlopen(executable.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return fail(::dlerror());
    const std::string symbol = principalClass + "_initWithBundle";
    auto factory = reinterpret_cast<NSPreferencePaneFactory>(::dlsym(handle, symbol.c_str()));
    if (!factory)
        return fail(executable + " does not export " + symbol);
    std::unique_ptr<NSPreferencePane> pane(factory(bundle->bundlePath().c_str()));
    if (!pane)
        return fail(symbol + " made no pane");
    return pane;
}
