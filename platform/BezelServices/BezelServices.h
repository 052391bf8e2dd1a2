// BezelServices: the private framework that hands out the ambient light
// sensor's HID service client.
#pragma once

#include "IOKit/hid/IOHIDServiceClient.h"

// A new owned reference to the ambient light sensor's service client, or null
// when the machine has no such sensor.
IOHIDServiceClientRef ALCALSCopyALSServiceClient();
