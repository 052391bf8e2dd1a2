#include "engine/MonitorBrightnessField.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "IOKit/hid/IOHIDUsageTables.h"
#include "engine/AppleMonitorProducts.h"
#include "engine/HIDInterfaceSummary.h"

namespace duolume {
namespace {

// Fields wider than this, or reports longer, are not a brightness.
constexpr std::uint64_t kMaxFieldBits = 32;
constexpr std::uint64_t kMaxReportBytes = 64;

std::uint64_t fieldBits(IOHIDElementRef e) {
    return static_cast<std::uint64_t>(IOHIDElementGetReportSize(e)) * IOHIDElementGetReportCount(e);
}

bool isBrightnessUsage(IOHIDElementRef e) {
    return IOHIDElementGetUsagePage(e) == kHIDPage_MonitorVirtual &&
           IOHIDElementGetUsage(e) == kHIDUsage_VESA_Brightness;
}

// The outermost collection holding `e`, or null when none does.
IOHIDElementRef topLevelCollection(IOHIDElementRef e) {
    IOHIDElementRef top = nullptr;
    for (IOHIDElementRef parent = IOHIDElementGetParent(e); parent;
         parent = IOHIDElementGetParent(parent))
        top = parent;
    return top;
}

bool inMonitorCollection(IOHIDElementRef e) {
    IOHIDElementRef top = topLevelCollection(e);
    return top && IOHIDElementGetUsagePage(top) == kHIDPage_Monitor &&
           IOHIDElementGetUsage(top) == kHIDUsage_Monitor_MonitorControl;
}

// Every field of one feature report, in order.
std::vector<IOHIDElementRef> featureReport(const std::vector<IOHIDElementRef>& elements,
                                           std::uint32_t reportID) {
    std::vector<IOHIDElementRef> report;
    for (IOHIDElementRef e : elements) {
        if (IOHIDElementGetType(e) == kIOHIDElementTypeFeature &&
            IOHIDElementGetReportID(e) == reportID)
            report.push_back(e);
    }
    return report;
}

}  // namespace

std::optional<MonitorBrightnessField> fieldInReport(const std::vector<IOHIDElementRef>& report,
                                                    IOHIDElementRef chosen) {
    std::uint64_t offset = 0, total = 0;
    for (IOHIDElementRef e : report) {
        if (e == chosen)
            offset = total;
        total += std::min(fieldBits(e), kMaxReportBytes * 8 + 1);
    }
    const std::uint64_t bits = fieldBits(chosen);
    const CFIndex min = IOHIDElementGetLogicalMin(chosen), max = IOHIDElementGetLogicalMax(chosen);
    // One value of an unsigned field, whose range fits its width.
    if (IOHIDElementGetReportCount(chosen) != 1 || bits == 0 || bits > kMaxFieldBits ||
        total > kMaxReportBytes * 8 || min < 0 || max <= min ||
        static_cast<std::uint64_t>(max) > (std::uint64_t{1} << bits) - 1) {
        return std::nullopt;
    }
    MonitorBrightnessField field;
    field.reportID = static_cast<long>(IOHIDElementGetReportID(chosen));
    field.reportLength = static_cast<long>((total + 7) / 8);
    field.bitOffset = static_cast<unsigned>(offset);
    field.bits = static_cast<unsigned>(bits);
    field.minimum = min;
    field.maximum = max;
    return field;
}

std::optional<MonitorBrightnessField> reportSixteenField(
    const std::vector<IOHIDElementRef>& elements) {
    const std::vector<IOHIDElementRef> report = featureReport(elements, 16);
    IOHIDElementRef chosen = nullptr;
    for (IOHIDElementRef e : report) {
        if (isBrightnessUsage(e)) {
            chosen = e;
            break;
        }
    }
    for (IOHIDElementRef e : report) {
        if (!chosen && !e->constant)
            chosen = e;
    }
    return chosen ? fieldInReport(report, chosen) : std::nullopt;
}

std::optional<MonitorBrightnessField> monitorCollectionField(
    const std::vector<IOHIDElementRef>& elements) {
    for (IOHIDElementRef e : elements) {
        if (IOHIDElementGetType(e) != kIOHIDElementTypeFeature || !isBrightnessUsage(e) ||
            !inMonitorCollection(e))
            continue;
        if (auto field = fieldInReport(featureReport(elements, IOHIDElementGetReportID(e)), e))
            return field;
    }
    return std::nullopt;
}

std::optional<MonitorBrightnessField> brightnessFieldFor(
    std::int64_t product, const std::vector<IOHIDElementRef>& elements) {
    const AppleDisplayProduct* more = moreAppleDisplayProduct(product);
    if (!more || more->route == BrightnessRoute::ReportSixteen)
        return reportSixteenField(elements).value_or(kFixedBrightnessField);
    auto field = monitorCollectionField(elements);
    if (field && more->fullBrightness > field->minimum && more->fullBrightness < field->maximum)
        field->maximum = more->fullBrightness;
    return field;
}

std::optional<MonitorBrightnessField> monitorBrightnessField(IOHIDDeviceRef device) {
    const auto product = IOHIDDeviceGetProperty(device, kIOHIDProductIDKey);
    return brightnessFieldFor(product ? product->integerValue().value_or(0) : 0,
                              IOHIDDeviceCopyMatchingElements(device, nullptr, 0));
}

std::optional<std::vector<std::uint8_t>> payloadForBrightness(const MonitorBrightnessField& field,
                                                              double brightness) {
    if (std::isnan(brightness))
        return std::nullopt;
    const double span = static_cast<double>(field.maximum - field.minimum);
    // Truncated toward zero, not rounded like the other devices' steps
    // (base/RawBrightness.h): the USB monitors are sent the payload they have
    // always been sent (0.5 is 0x7FFF on the fixed payload, not 0x8000), and
    // their field may start above 0.
    const double scaled = std::trunc(brightness * span);
    // Beyond the range the field can carry, the nearest end of the range is
    // sent rather than wrapped-around low bits (1.5 would otherwise dim).
    const std::uint64_t step = scaled <= 0.0    ? 0
                               : scaled >= span ? static_cast<std::uint64_t>(span)
                                                : static_cast<std::uint64_t>(scaled);
    return payloadForRaw(field, static_cast<std::uint64_t>(field.minimum) + step);
}

std::vector<std::uint8_t> payloadForRaw(const MonitorBrightnessField& field, std::uint64_t raw) {
    std::vector<std::uint8_t> payload(static_cast<std::size_t>(field.reportLength), 0);
    for (unsigned b = 0; b < field.bits; ++b) {
        if (raw >> b & 1) {
            const unsigned at = field.bitOffset + b;
            payload[at / 8] |= static_cast<std::uint8_t>(1u << (at % 8));
        }
    }
    return payload;
}

std::optional<std::int64_t> rawForPayload(const MonitorBrightnessField& field,
                                          const std::uint8_t* payload, long length) {
    if (!payload || length < 0 ||
        (field.bitOffset + field.bits + 7) / 8 > static_cast<unsigned long>(length))
        return std::nullopt;
    std::uint64_t raw = 0;
    for (unsigned b = 0; b < field.bits; ++b) {
        const unsigned at = field.bitOffset + b;
        raw |= static_cast<std::uint64_t>(payload[at / 8] >> (at % 8) & 1) << b;
    }
    const auto value = static_cast<std::int64_t>(raw);
    if (value < field.minimum || value > field.maximum)
        return std::nullopt;
    return value;
}

std::optional<float> brightnessForPayload(const MonitorBrightnessField& field,
                                          const std::uint8_t* payload, long length) {
    const auto value = rawForPayload(field, payload, length);
    if (!value)
        return std::nullopt;
    return static_cast<float>(static_cast<double>(*value - field.minimum) /
                              static_cast<double>(field.maximum - field.minimum));
}

std::optional<MonitorBrightnessField> featureUsageField(
    const std::vector<IOHIDElementRef>& elements, std::uint32_t page, std::uint32_t usage) {
    for (IOHIDElementRef e : elements) {
        if (IOHIDElementGetType(e) == kIOHIDElementTypeFeature &&
            IOHIDElementGetUsagePage(e) == page && IOHIDElementGetUsage(e) == usage)
            return fieldInReport(featureReport(elements, IOHIDElementGetReportID(e)), e);
    }
    return std::nullopt;
}

std::string describeField(const MonitorBrightnessField& field) {
    return "feature report " + std::to_string(field.reportID) + ", " + std::to_string(field.bits) +
           " bits, " + std::to_string(field.minimum) + " to " + std::to_string(field.maximum);
}

std::string productText(IOHIDDeviceRef device) {
    char product[16] = "unknown";
    if (auto id = IOHIDDeviceGetProperty(device, kIOHIDProductIDKey))
        std::snprintf(product, sizeof product, "0x%04llx",
                      static_cast<unsigned long long>(id->integerValue().value_or(0)));
    return product;
}

namespace {

std::string byteCount(const MonitorBrightnessField& field) {
    return std::to_string(field.reportLength) + (field.reportLength == 1 ? " byte" : " bytes");
}

}  // namespace

std::string describeMonitorAttach(IOHIDDeviceRef device, const MonitorBrightnessField& field) {
    const std::string product = productText(device);
    const std::string bytes = byteCount(field);
    // The fixed payload is either what the descriptor declares or the
    // fallback for a descriptor without a usable field; say which.
    if (field == kFixedBrightnessField &&
        reportSixteenField(IOHIDDeviceCopyMatchingElements(device, nullptr, 0)) != field) {
        return std::string("USB monitor ") + product +
               " attached: its descriptor declares no usable brightness field; brightness is "
               "sent as " +
               describeField(field) + ", " + bytes;
    }
    return std::string("USB monitor ") + product + " attached: brightness is sent as " +
           describeField(field) + ", " + bytes;
}

std::string describeInterfaceNotAttached(IOHIDDeviceRef device) {
    return "USB monitor " + productText(device) +
           ": this HID interface declares no brightness control in a Monitor collection; not "
           "attached (the display's brightness is on another of its interfaces); it declares " +
           describeHIDInterface(IOHIDDeviceCopyMatchingElements(device, nullptr, 0));
}

bool judgeMonitorInterface(std::int64_t product, const std::vector<IOHIDElementRef>& elements,
                           std::string* detail) {
    const auto field = brightnessFieldFor(product, elements);
    if (!field) {
        *detail =
            "this HID interface declares no brightness control in a Monitor collection, so "
            "it is not used; it declares " +
            describeHIDInterface(elements);
        return false;
    }
    *detail = "brightness in " + describeField(*field) + ", " + byteCount(*field);
    return true;
}

}  // namespace duolume
