// The service-client back-end: polls the ambient light sensor's HID service
// client once a second and announces when the raw reading changes.
#pragma once

#include "IOKit/hid/IOHIDServiceClient.h"
#include "sensor/AmbientLightSensor.h"

class ServiceClientAmbientLightSensor : public AmbientLightSensor {
  public:
    void setupAmbientLightSensor() override;
    // ln(reading + 1), capped at 10.0 (NaN gives 10.0).
    double getCurrentAmbientLight() override;

  private:
    void updateTimerCallBack();

    // Obtained once in set-up and kept; null when there is none.
    IOHIDServiceClientRef client;
    // The last raw reading; 0.0 until the first one.
    double ambientLight = 0.0;
};
