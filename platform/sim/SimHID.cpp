#include "sim/SimHID.h"

#include <algorithm>

namespace platform::sim {

IOReturn SimHIDDevice::answer(IOReturn scripted, IOHIDReportType type) const {
    if (!attached)
        return kIOReturnNotAttached;
    if (scripted != kIOReturnSuccess)
        return scripted;
    return type == kIOHIDReportTypeFeature ? kIOReturnSuccess : kIOReturnUnsupported;
}

IOReturn SimHIDDevice::getReport(IOHIDReportType type, CFIndex reportID, std::uint8_t* report,
                                 CFIndex* length) {
    open = true;
    if (IOReturn status = answer(getStatus, type))
        return status;
    auto it = featureReports.find(reportID);
    if (it == featureReports.end())
        return kIOReturnUnsupported;
    const auto n = std::min<CFIndex>(*length, static_cast<CFIndex>(it->second.size()));
    std::copy_n(it->second.begin(), n, report);
    *length = n;
    return kIOReturnSuccess;
}

IOReturn SimHIDDevice::setReport(IOHIDReportType type, CFIndex reportID, const std::uint8_t* report,
                                 CFIndex length) {
    open = true;
    sent.push_back({type, reportID, std::vector<std::uint8_t>(report, report + length)});
    if (IOReturn status = answer(setStatus, type))
        return status;
    featureReports[reportID] = sent.back().bytes;
    return kIOReturnSuccess;
}

SimHIDDevice& SimHID::addDevice(std::int32_t vendor, std::int32_t product) {
    auto name = "sim device " + std::to_string(devices.size() + 1);
    devices.push_back(std::make_unique<SimHIDDevice>(vendor, product, name));
    return *devices.back();
}

void SimHID::plugIn(SimHIDDevice& device) {
    if (device.attached)
        return;
    device.attached = true;
    for (auto* l : listeners_)
        l->deviceAttached(&device);
}

void SimHID::plugOut(SimHIDDevice& device) {
    if (!device.attached)
        return;
    device.attached = false;
    for (auto* l : listeners_)
        l->deviceRemoved(&device);
}

IOReturn SimHID::open(Listener* listener) {
    ++opens;
    if (openStatus != kIOReturnSuccess)
        return openStatus;
    listeners_.push_back(listener);
    for (auto& device : devices)
        if (device->attached)
            listener->deviceAttached(device.get());
    return kIOReturnSuccess;
}

}  // namespace platform::sim
