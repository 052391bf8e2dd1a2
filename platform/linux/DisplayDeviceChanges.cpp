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
    return !events_ || events_->drain();
}

}  // namespace platform::linux_machine
