// Who asked to hear of a display's brightness being changed by someone other
// than this process (DisplayServicesRegisterForBrightnessChangeNotifications),
// and the handing of one such change to them: what both machines' display
// back-ends keep alike. Each brings a change to the main thread its own way.
// Used on the main thread only.
#pragma once

#include <map>
#include <utility>
#include <vector>

#include "machine/DisplayBackend.h"

namespace platform {

class BrightnessObserverTable {
  public:
    void add(CGDirectDisplayID display, CGDirectDisplayID observer,
             DisplayServicesBrightnessChangeCallback callback);
    // False when `observer` was not listening to `display`.
    bool remove(CGDirectDisplayID display, CGDirectDisplayID observer);
    // The displays someone asked about, each once.
    std::vector<CGDirectDisplayID> observedDisplays() const;
    // Hands `brightness` to every observer of `display`, under
    // kDisplayServicesBrightnessValueKey. A callback may remove itself or another.
    void deliver(CGDirectDisplayID display, double brightness) const;

  private:
    std::map<std::pair<CGDirectDisplayID, CGDirectDisplayID>,
             DisplayServicesBrightnessChangeCallback>
        observers_;
};

}  // namespace platform
