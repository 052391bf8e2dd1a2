// Switching the background agent on and off: the launch agent file written
// from the template in the pane bundle, then launchctl load or unload.
#pragma once

class NSBundle;

namespace duolume {

// The pane's setupDaemon: with `enabled` true writes the launch agent file
// with the job enabled and loads it; with false writes it disabled and unloads.
void setupDaemon(const NSBundle& paneBundle, bool enabled);

}  // namespace duolume
