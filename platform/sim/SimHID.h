// HID devices on the simulated machine: devices with a vendor and product ID
// that are plugged in and out, feature reports that a read returns, and a
// journal of every report written to each device.
//
// Arrivals and removals go to the open HID managers at once; the managers hand
// them to their callbacks when the run loop runs.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "machine/HIDBackend.h"

namespace platform::sim {

class SimHIDDevice : public HIDDevice {
  public:
    struct SentReport {
        IOHIDReportType type;
        CFIndex reportID;
        std::vector<std::uint8_t> bytes;
        bool operator==(const SentReport&) const = default;
    };

    SimHIDDevice(std::int32_t vendor, std::int32_t product, std::string name)
        : vendor_(vendor), product_(product), name_(std::move(name)) {}

    std::int32_t vendorID() const override { return vendor_; }
    std::int32_t productID() const override { return product_; }
    std::string description() const override { return name_; }
    FindingReason access() const override { return accessFinding; }
    void close() override { open = false; }
    const std::vector<__IOHIDElement>& elements() const override { return elementList; }
    IOReturn getReport(IOHIDReportType type, CFIndex reportID, std::uint8_t* report,
                       CFIndex* length) override;
    IOReturn setReport(IOHIDReportType type, CFIndex reportID, const std::uint8_t* report,
                       CFIndex length) override;

    // Feature reports by ID: what a read returns, and what a successful write replaces.
    std::map<CFIndex, std::vector<std::uint8_t>> featureReports;
    // What the device's report descriptor declares; none by default, as for a
    // device whose descriptor cannot be read.
    std::vector<__IOHIDElement> elementList;
    // Statuses of the report calls; a plugged-out device fails both.
    IOReturn getStatus = kIOReturnSuccess;
    IOReturn setStatus = kIOReturnSuccess;
    // Every report sent to the device, in order, whether it took effect or not.
    std::vector<SentReport> sent;
    bool attached = false;
    // Whether this user may use it (a node the udev rule did not open up).
    FindingReason accessFinding = FindingReason::InUse;
    // Open from its first report call until it is closed.
    bool open = false;

  private:
    // How a report call ends before it reaches the reports: unplugged, the
    // status scripted for it, or a type other than feature.
    IOReturn answer(IOReturn scripted, IOHIDReportType type) const;

    std::int32_t vendor_;
    std::int32_t product_;
    std::string name_;
};

class SimHID : public HIDBackend {
  public:
    // Scripted behaviour of the HID manager.
    bool managerCreationFails = false;
    IOReturn openStatus = kIOReturnSuccess;

    // A new device, not plugged in yet. Devices never move or go away.
    SimHIDDevice& addDevice(std::int32_t vendor, std::int32_t product);
    void plugIn(SimHIDDevice& device);
    void plugOut(SimHIDDevice& device);

    std::deque<std::unique_ptr<SimHIDDevice>> devices;
    int opens = 0;

    // HIDBackend
    bool canCreateManager() override { return !managerCreationFails; }
    IOReturn open(Listener* listener) override;

  private:
    std::vector<Listener*> listeners_;
};

}  // namespace platform::sim
