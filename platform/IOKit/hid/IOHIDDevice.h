// HID device references and their feature reports.
#pragma once

#include <cstdint>

#include "IOKit/hid/HIDBackend.h"

// A device reference: stable from the device's arrival until the process
// ends, so its pointer value identifies the device.
using IOHIDDeviceRef = platform::HIDDevice*;

// The report ID travels as its own argument. `pReportLength` holds the
// buffer size in and the report's length out.
IOReturn IOHIDDeviceGetReport(IOHIDDeviceRef device, IOHIDReportType reportType, CFIndex reportID,
                              std::uint8_t* report, CFIndex* pReportLength);
IOReturn IOHIDDeviceSetReport(IOHIDDeviceRef device, IOHIDReportType reportType, CFIndex reportID,
                              const std::uint8_t* report, CFIndex reportLength);

// The device callback form: context, result status, sender, device.
using IOHIDDeviceCallback = void (*)(void* context, IOReturn result, void* sender,
                                     IOHIDDeviceRef device);
