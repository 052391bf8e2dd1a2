// Loading a .prefPane bundle: its executable (a shared object in
// Contents/MacOS/) is opened and the factory of the principal class named by
// "NSPrincipalClass" in Info.plist creates the pane. The code stays loaded
// for the life of the process.
#pragma once

#include <memory>
#include <string>

#include "AppKit/NSPreferencePane.h"

std::unique_ptr<NSPreferencePane> loadPreferencePane(const std::string& bundlePath,
                                                     std::string* error = nullptr);
