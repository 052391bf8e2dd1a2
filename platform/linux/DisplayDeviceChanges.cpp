#include "linux/DisplayDeviceChanges.h"

#include <string>

namespace platform::linux_machine {

bool DisplayDeviceChanges::changed() {
    if (!started_) {
        started_ = true;
        std::string why;
        events_ = DeviceEvents::open({"backlight", "drm"}, true, &why);
        return true;
    }
    if (!events_)
        return true;
    // A monitor plugged into a fixed port changes what its connector shows
    // (its EDID) with no device coming or going.
    bool stale = false;
    for (const auto& event : events_->read())
        stale = stale || event.comesOrGoes() || event.drmHotplug();
    return stale;
}

}  // namespace platform::linux_machine
