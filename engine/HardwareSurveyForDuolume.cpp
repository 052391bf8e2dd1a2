#include "engine/HardwareSurveyForDuolume.h"

#include "engine/AppleMonitorProducts.h"
#include "engine/MonitorBrightnessField.h"

namespace duolume {
namespace {

// The newer displays' interfaces are judged by their descriptors, so the
// report names the field of the one that is used and why the others are
// not; each of the twelve is used whatever it declares, and its attach line
// says how.
void addProducts(std::vector<platform::UsbDeviceID>& monitors, const auto& products, bool judged) {
    for (std::int64_t product : products) {
        platform::UsbDeviceID id{static_cast<std::int32_t>(kAppleUSBVendorID),
                                 static_cast<std::int32_t>(product), nullptr};
        if (judged)
            id.judgeInterface = [product](const std::vector<IOHIDElementRef>& elements,
                                          std::string* detail) {
                return judgeMonitorInterface(product, elements, detail);
            };
        monitors.push_back(std::move(id));
    }
}

}  // namespace

std::vector<platform::HardwareFinding> surveyDuolumeHardware() {
    std::vector<platform::UsbDeviceID> monitors;
    addProducts(monitors, kAppleMonitorProductIDs, false);
    addProducts(monitors, kNewerAppleDisplayProductIDs, true);
    return platform::surveyHardware(monitors);
}

}  // namespace duolume
