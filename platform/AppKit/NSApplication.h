// The application object of the preferences host; here for its standard
// about panel.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "AppKit/NSAttributedString.h"
#include "AppKit/NSImage.h"

inline const std::string NSAboutPanelOptionCredits = "Credits";
inline const std::string NSAboutPanelOptionApplicationIcon = "ApplicationIcon";
inline const std::string NSAboutPanelOptionCopyright = "Copyright";
inline const std::string NSAboutPanelOptionApplicationName = "ApplicationName";
inline const std::string NSAboutPanelOptionVersion = "Version";
inline const std::string NSAboutPanelOptionApplicationVersion = "ApplicationVersion";

using NSAboutPanelOptionValue = std::variant<std::string, NSAttributedString, NSImage>;
struct NSAboutPanelOption {
    std::string key;
    NSAboutPanelOptionValue value;
};
// The options in the order they were assembled.
using NSAboutPanelOptions = std::vector<NSAboutPanelOption>;

class NSApplication {
  public:
    static NSApplication& sharedApplication();

    // Shows the standard about panel (one per application, raised when shown
    // again). An option not given falls back to the host application's own:
    // its name, version and icon; no credits and no copyright.
    void orderFrontStandardAboutPanelWithOptions(const NSAboutPanelOptions& options);
};
