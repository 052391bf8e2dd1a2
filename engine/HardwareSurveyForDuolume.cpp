#include "engine/HardwareSurveyForDuolume.h"

#include "engine/AppleMonitorProducts.h"

namespace duolume {

std::vector<platform::HardwareFinding> surveyDuolumeHardware() {
    std::vector<platform::UsbDeviceID> monitors;
    for (auto product : kAppleMonitorProductIDs)
        monitors.push_back(
            {static_cast<std::int32_t>(kAppleUSBVendorID), static_cast<std::int32_t>(product)});
    return platform::surveyHardware(monitors);
}

}  // namespace duolume
