#include "HardwareSurvey.h"

#include "Machine.h"

namespace platform {
namespace {

const char* kindName(HardwareFinding::Kind kind) {
    switch (kind) {
        case HardwareFinding::Kind::Display:
            return "Display";
        case HardwareFinding::Kind::Backlight:
            return "Backlight";
        case HardwareFinding::Kind::Monitor:
            return "USB monitor";
        case HardwareFinding::Kind::LightSensor:
            return "Light sensor";
    }
    return "Device";
}

}  // namespace

std::vector<HardwareFinding> surveyHardware(const std::vector<UsbDeviceID>& monitors) {
    Machine::current().recordCall("surveyHardware(" + std::to_string(monitors.size()) + ")");
    return Machine::current().surveyHardware(monitors);
}

std::string describeFinding(const HardwareFinding& f) {
    return std::string(kindName(f.kind)) + " " + f.name + ": " +
           (f.usable ? "usable" : "not usable") + (f.detail.empty() ? "" : ", " + f.detail);
}

}  // namespace platform
