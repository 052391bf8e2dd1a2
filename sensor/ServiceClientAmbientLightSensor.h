// The service-client back-end: polls the ambient light sensor's HID service
// client once a second and announces when the raw reading changes. Without
// any reading (no service client, or no event at set-up) there is no level:
// it answers -1.0, the failure marker every consumer already leaves alone,
// instead of a made-up darkness of 0.0 that would put the displays at the
// curve's darkest point.
#pragma once

#include "IOKit/hid/IOHIDServiceClient.h"
#include "sensor/AmbientLightSensor.h"

class ServiceClientAmbientLightSensor : public AmbientLightSensor {
  public:
    void setupAmbientLightSensor() override;
    // ln(reading + 1), capped at 10.0 (NaN gives 10.0); -1.0 before any reading.
    double getCurrentAmbientLight() override;

  private:
    void updateTimerCallBack();

    // Obtained once in set-up and kept; null when there is none.
    IOHIDServiceClientRef client;
    // The last raw reading; 0.0 until the first one.
    double ambientLight = 0.0;
    bool hasReading = false;
};
