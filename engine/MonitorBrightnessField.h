// Where a monitor carries its brightness: the report, the field's place and
// width in it, and the logical range the monitor declares for it.
//
// Apple USB monitors declare their brightness field in feature report 16, and
// not all alike: the kernel's drivers/usb/misc/appledisplay.c drives 0x9218,
// 0x9219, 0x921C, 0x9226 and 0x9236 with one byte 0..255, and an owner of a
// 0x9226 documents 16 bits 0..1023 (tests/data/real-data/hid/INDEX.tsv). A
// monitor whose descriptor cannot be read, declares no report 16 or declares
// a field that cannot be used gets the fixed payload: two bytes, 0..65535.
//
// The newer Apple displays (AppleMonitorProducts.h) declare their brightness
// usage in feature report 1 instead, 32 bits from 400, beside a 16-bit
// duration, inside the Monitor top-level collection of one of their several
// HID interfaces; only that interface takes brightness.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "IOKit/hid/IOHIDDevice.h"

namespace duolume {

struct MonitorBrightnessField {
    long reportID = 16;
    long reportLength = 2;  // payload bytes, without the report ID
    unsigned bitOffset = 0;
    unsigned bits = 16;
    std::int64_t minimum = 0;
    std::int64_t maximum = 65535;
    bool operator==(const MonitorBrightnessField&) const = default;
};

// Report 16 with two bytes 0..65535.
inline constexpr MonitorBrightnessField kFixedBrightnessField{};

// The field `chosen` among `report` (every field of one report, in order),
// when it is one unsigned value whose declared range fits its width.
std::optional<MonitorBrightnessField> fieldInReport(const std::vector<IOHIDElementRef>& report,
                                                    IOHIDElementRef chosen);

// What the monitor's elements declare for report 16's brightness: the
// brightness usage (kHIDUsage_VESA_Brightness) in that report, else its first
// data field.
// Absent when they declare no usable field there.
std::optional<MonitorBrightnessField> reportSixteenField(
    const std::vector<IOHIDElementRef>& elements);

// The brightness usage (kHIDUsage_VESA_Brightness) of a feature report, declared inside the
// Monitor top-level collection (usage page 0x80, usage 1); a brightness usage
// under any other collection, or under none, does not count.
std::optional<MonitorBrightnessField> monitorCollectionField(
    const std::vector<IOHIDElementRef>& elements);

// The field a USB monitor's brightness goes to, from its product and the
// elements of one of its HID interfaces, by the product's route: the declared
// report 16 field, else the fixed payload; or the brightness usage of its
// Monitor collection, held to the product's full brightness. Absent for an
// interface of a Monitor-collection display that declares none: that
// interface is not the display's brightness and is never attached.
std::optional<MonitorBrightnessField> brightnessFieldFor(
    std::int64_t product, const std::vector<IOHIDElementRef>& elements);
std::optional<MonitorBrightnessField> monitorBrightnessField(IOHIDDeviceRef device);

// The payload for a brightness fraction: fraction × (maximum − minimum),
// truncated toward zero, plus the minimum, held within the range; little-
// endian at the field's place, every other bit 0 (so a newer display's
// duration field asks for the change at once). Absent for a value that is
// not a number.
std::optional<std::vector<std::uint8_t>> payloadForBrightness(const MonitorBrightnessField& field,
                                                              double brightness);

// `raw` at the field's place, every other bit 0.
std::vector<std::uint8_t> payloadForRaw(const MonitorBrightnessField& field, std::uint64_t raw);
// The field's raw value; absent when the answer is too short to hold it or
// the value lies outside the declared range.
std::optional<std::int64_t> rawForPayload(const MonitorBrightnessField& field,
                                          const std::uint8_t* payload, long length);
// The field of the first feature element with this usage, when it can hold a value.
std::optional<MonitorBrightnessField> featureUsageField(
    const std::vector<IOHIDElementRef>& elements, std::uint32_t page, std::uint32_t usage);

// (raw − minimum) / (maximum − minimum), rounded to single precision. Absent
// when the answer is too short to hold the field or its value lies outside
// the declared range.
std::optional<float> brightnessForPayload(const MonitorBrightnessField& field,
                                          const std::uint8_t* payload, long length);

// "feature report 16, 8 bits, 0 to 255" for log lines.
std::string describeField(const MonitorBrightnessField& field);
// A monitor's USB product ID as its log lines give it ("0x9226"), or "unknown".
std::string productText(IOHIDDeviceRef device);

// The line logged when a monitor is attached: its product, the field its
// descriptor declares and how its brightness is sent, so that a person
// reading the log can tell an 8-bit monitor from one on the fixed payload.
std::string describeMonitorAttach(IOHIDDeviceRef device, const MonitorBrightnessField& field);

// What an interface's descriptor declares, in one line, so that the owner of
// a display left unattached can report it: each top-level collection with the
// data fields of each report in it ("collection 0x0080/0x0001: feature report
// 1 (0x0082/0x0010 32 bits 400..60000, ...)"), the first 16 fields at most.
std::string describeHIDInterface(const std::vector<IOHIDElementRef>& elements);

// The line logged for an interface of a newer display that is left alone,
// with what its descriptor declares.
std::string describeInterfaceNotAttached(IOHIDDeviceRef device);

// For the hardware report: how brightness would be sent to one HID interface
// of `product` with these elements ("brightness in feature report 1, 32 bits,
// 400 to 60000"), or why that interface is not used, with what it declares.
// False when it is not.
bool judgeMonitorInterface(std::int64_t product, const std::vector<IOHIDElementRef>& elements,
                           std::string* detail);

}  // namespace duolume
