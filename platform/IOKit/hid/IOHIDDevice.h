// HID device references and their feature reports.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/PropertyList.h"
#include "machine/HIDBackend.h"

// A device reference: stable from the device's arrival until the process
// ends, so its pointer value identifies the device.
using IOHIDDeviceRef = platform::HIDDevice*;

// Matching dictionary and property keys (integer numbers).
inline const std::string kIOHIDVendorIDKey = "VendorID";
inline const std::string kIOHIDProductIDKey = "ProductID";

// The device's property under `key`; absent for a key the device does not
// have, or a null device.
std::optional<PlistValue> IOHIDDeviceGetProperty(IOHIDDeviceRef device, const std::string& key);

// The report ID travels as its own argument. `pReportLength` holds the
// buffer size in and the report's length out.
IOReturn IOHIDDeviceGetReport(IOHIDDeviceRef device, IOHIDReportType reportType, CFIndex reportID,
                              std::uint8_t* report, CFIndex* pReportLength);
IOReturn IOHIDDeviceSetReport(IOHIDDeviceRef device, IOHIDReportType reportType, CFIndex reportID,
                              const std::uint8_t* report, CFIndex reportLength);

// Closes the device: nothing of it stays open until the next report call.
IOReturn IOHIDDeviceClose(IOHIDDeviceRef device, IOOptionBits options);

// The device's elements that match every key of `matching` (all of them
// when it is null), in descriptor order. The references stay valid as long
// as the device does.
std::vector<IOHIDElementRef> IOHIDDeviceCopyMatchingElements(IOHIDDeviceRef device,
                                                             const NSDictionary* matching,
                                                             IOOptionBits options);

// The device callback form: context, result status, sender, device.
using IOHIDDeviceCallback = void (*)(void* context, IOReturn result, void* sender,
                                     IOHIDDeviceRef device);
