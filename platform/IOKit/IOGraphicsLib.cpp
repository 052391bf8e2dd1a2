#include "IOKit/IOGraphicsLib.h"

#include <cstdio>

#include "base/HexText.h"
#include "machine/DisplayBackend.h"
#include "machine/Machine.h"

namespace {

using platform::hexText;

platform::DisplayBackend& displays() {
    return platform::Machine::current().displays();
}
}  // namespace

CFDictionaryRef IODisplayCreateInfoDictionary(io_service_t framebuffer, IOOptionBits options) {
    platform::Machine::current().recordCall("IODisplayCreateInfoDictionary(" +
                                            std::to_string(framebuffer) + ", " + hexText(options) +
                                            ")");
    auto info = displays().displayInfoDictionary(framebuffer, options);
    if (!info)
        return nullptr;
    return std::make_shared<const PlistDictionary>(std::move(*info));
}

IOReturn IODisplayGetFloatParameter(io_service_t service, IOOptionBits options,
                                    const std::string& parameterName, float* value) {
    platform::Machine::current().recordCall("IODisplayGetFloatParameter(" +
                                            std::to_string(service) + ", " + hexText(options) +
                                            ", " + parameterName + ")");
    if (!value)
        return kIOReturnBadArgument;
    return displays().getFloatParameter(service, options, parameterName, value);
}

IOReturn IODisplaySetFloatParameter(io_service_t service, IOOptionBits options,
                                    const std::string& parameterName, float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", static_cast<double>(value));
    platform::Machine::current().recordCall("IODisplaySetFloatParameter(" +
                                            std::to_string(service) + ", " + hexText(options) +
                                            ", " + parameterName + ", " + text + ")");
    return displays().setFloatParameter(service, options, parameterName, value);
}
