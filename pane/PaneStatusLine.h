// The pane's one line of status under the light indicator: which light
// sensor is read (or that there is none), whether the background agent runs
// while synchronisation is on, and the Apple USB monitors found or why one
// cannot be used. Built from the same hardware survey the agent logs at start.
#pragma once

#include <string>

#include "Foundation/NSBundle.h"

namespace duolume {

// The line in the user's language (the bundle's default string table).
std::string paneStatusLine(const NSBundle& bundle, bool synchronisationOn);

}  // namespace duolume
