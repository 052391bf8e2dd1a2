// IOKit display services: a display connection service's info dictionary and
// its float parameters (such as the brightness).
#pragma once

#include <string>

#include "CoreFoundation/CFDictionary.h"
#include "base/IOKitTypes.h"

// Info dictionary option: only the preferred localized name.
inline constexpr IOOptionBits kIODisplayOnlyPreferredName = 0x00000200;

// Keys of the info dictionary, each a number.
inline const std::string kDisplayVendorID = "DisplayVendorID";
inline const std::string kDisplayProductID = "DisplayProductID";
inline const std::string kDisplaySerialNumber = "DisplaySerialNumber";

// The display parameter holding the brightness, 0.0 to 1.0.
inline const std::string kIODisplayBrightnessKey = "brightness";

// The service's info dictionary, owned by the caller; null for an unknown service.
CFDictionaryRef IODisplayCreateInfoDictionary(io_service_t framebuffer, IOOptionBits options);
IOReturn IODisplayGetFloatParameter(io_service_t service, IOOptionBits options,
                                    const std::string& parameterName, float* value);
IOReturn IODisplaySetFloatParameter(io_service_t service, IOOptionBits options,
                                    const std::string& parameterName, float value);
