#include "sim/SimHardwareSurvey.h"

#include <cstdio>

#include "sim/SimDisplays.h"
#include "sim/SimHID.h"
#include "sim/SimLightSensor.h"

namespace platform::sim {
namespace {

using Kind = HardwareFinding::Kind;

std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

void displays(SimDisplays& d, std::vector<HardwareFinding>& out) {
    if (d.listStatus != kCGErrorSuccess) {
        out.push_back({Kind::Display, "(none)", false,
                       "the active display list fails with " + hex(d.listStatus)});
        return;
    }
    if (d.active.empty())
        out.push_back({Kind::Display, "(none)", false, "no active display"});
    for (const auto& display : d.active)
        out.push_back({Kind::Display, hex(display.id), true,
                       std::string(display.builtin ? "built-in panel" : "external display") +
                           ", vendor " + hex(display.vendor) + " model " + hex(display.model)});
}

// The built-in display's brightness routes stand for its backlight.
void backlights(SimDisplays& d, std::vector<HardwareFinding>& out) {
    const auto before = out.size();
    if (d.hasOperation(OptionalDisplayOperation::DisplayServicesSetBrightness))
        out.push_back({Kind::Backlight, "DisplayServices", d.canChangeBrightness,
                       d.canChangeBrightness ? "can change the brightness"
                                             : "refuses to change the brightness"});
    for (const auto& service : d.services)
        out.push_back({Kind::Backlight, "service " + hex(service.handle),
                       service.setStatus == kIOReturnSuccess,
                       service.setStatus == kIOReturnSuccess
                           ? "brightness parameter"
                           : "brightness writes fail with " + hex(service.setStatus)});
    if (out.size() == before)
        out.push_back({Kind::Backlight, "(none)", false, "no display service"});
}

void monitors(const SimHID& hid, const std::vector<UsbDeviceID>& wanted,
              std::vector<HardwareFinding>& out) {
    const auto before = out.size();
    for (const auto& device : hid.devices) {
        if (!device->attached)
            continue;
        for (const auto& w : wanted) {
            if (w.vendor != device->vendorID() || w.product != device->productID())
                continue;
            std::string detail = "product " + hex(static_cast<std::uint32_t>(device->productID()));
            if (w.judgeInterface) {
                std::vector<IOHIDElementRef> elements;
                for (const auto& e : device->elements())
                    elements.push_back(&e);
                std::string judged;
                const bool used = w.judgeInterface(elements, &judged);
                detail += ", " + judged;
                if (!used) {
                    out.push_back({Kind::Monitor, device->description(), false, detail});
                    continue;
                }
            }
            bool usable = !hid.managerCreationFails && hid.openStatus == kIOReturnSuccess;
            out.push_back({Kind::Monitor, device->description(), usable,
                           detail + (usable                                   ? ""
                                     : hid.openStatus == kIOReturnNotPrivileged ? ", permission denied"
                                                                                : ", the HID manager cannot be opened")});
        }
    }
    if (out.size() == before)
        out.push_back({Kind::Monitor, "(none)", false, "none attached"});
}

void lightSensors(const SimLightSensor& s, std::vector<HardwareFinding>& out) {
    out.push_back({Kind::LightSensor, "service client",
                   s.serviceClientPresent && s.reading.has_value(),
                   !s.serviceClientPresent ? "absent"
                   : s.reading             ? "has a reading"
                                           : "gives no reading"});
    out.push_back({Kind::LightSensor, "AppleLMUController",
                   s.controllerPresent && s.openStatus == kIOReturnSuccess,
                   !s.controllerPresent               ? "absent"
                   : s.openStatus == kIOReturnSuccess ? "can be opened"
                                                      : "opening fails with " + hex(s.openStatus)});
}

}  // namespace

std::vector<HardwareFinding> surveySimHardware(SimDisplays& d, const SimHID& hid,
                                               const SimLightSensor& sensor,
                                               const std::vector<UsbDeviceID>& wanted) {
    std::vector<HardwareFinding> out;
    displays(d, out);
    backlights(d, out);
    monitors(hid, wanted, out);
    lightSensors(sensor, out);
    return out;
}

}  // namespace platform::sim
