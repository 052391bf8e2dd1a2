// What a machine provides for the HID manager: the HID devices present now,
// their arrival and removal, and feature reports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/CFBase.h"
#include "base/IOHIDElementTypes.h"
#include "base/IOKitTypes.h"
#include "machine/HardwareFindings.h"

enum IOHIDReportType : std::uint32_t {
    kIOHIDReportTypeInput = 0,
    kIOHIDReportTypeOutput = 1,
    kIOHIDReportTypeFeature = 2,
};

namespace platform {

// One HID device. The object stays at the same address from its arrival until
// the process ends (also after its removal, when its report calls fail), so a
// device reference handed to callers never dangles.
class HIDDevice {
  public:
    virtual ~HIDDevice() = default;
    virtual std::int32_t vendorID() const = 0;
    virtual std::int32_t productID() const = 0;
    // Report ID as its own argument; `length` holds the buffer size in and the
    // report's size out.
    virtual IOReturn getReport(IOHIDReportType type, CFIndex reportID, std::uint8_t* report,
                               CFIndex* length) = 0;
    virtual IOReturn setReport(IOHIDReportType type, CFIndex reportID, const std::uint8_t* report,
                               CFIndex length) = 0;
    // For log lines: where the device lives ("/dev/hidraw3", "sim monitor 1").
    virtual std::string description() const = 0;
    // Whether this user may use it, looked at now without opening it.
    virtual FindingReason access() const { return FindingReason::InUse; }
    // Lets go of whatever the device holds open; the next report call opens
    // it again.
    virtual void close() {}
    // The fields its report descriptor declares, in descriptor order; none
    // when the descriptor could not be read. Fixed from the device's arrival.
    virtual const std::vector<__IOHIDElement>& elements() const {
        static const std::vector<__IOHIDElement> none;
        return none;
    }
};

class HIDBackend {
  public:
    class Listener {
      public:
        virtual ~Listener() = default;
        virtual void deviceAttached(HIDDevice* device) = 0;
        virtual void deviceRemoved(HIDDevice* device) = 0;
    };

    virtual ~HIDBackend() = default;

    // False when a HID manager cannot be created on this machine.
    virtual bool canCreateManager() = 0;
    // Starts reporting to `listener`: every device present now, then arrivals
    // and removals, called on the main thread. Called by IOHIDManagerOpen; the
    // result is its status. Several listeners may be open at once.
    virtual IOReturn open(Listener* listener) = 0;
};

}  // namespace platform
