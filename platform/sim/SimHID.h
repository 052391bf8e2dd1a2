// HID devices on the simulated machine.
// TODO(engine work): scripted monitors, attach/detach, report journals.
#pragma once

#include "IOKit/hid/HIDBackend.h"

namespace platform::sim {

class SimHID : public HIDBackend {
public:
    bool canCreateManager() override { return true; }
    IOReturn open(Listener*) override { return kIOReturnSuccess; }
};

}  // namespace platform::sim
