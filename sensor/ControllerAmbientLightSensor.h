// The controller back-end: reads the "AppleLMUController" service's two sensor
// values whenever the level is asked for, and announces the level at every
// general-interest message of the service.
#pragma once

#include "IOKit/IONotificationPort.h"
#include "sensor/AmbientLightSensor.h"

class ControllerAmbientLightSensor : public AmbientLightSensor {
  public:
    void setupAmbientLightSensor() override;
    // (average + 1)^(2/15) - 1, capped at 10.0; -1.0 when the values cannot
    // be read, -2.0 when the controller marks the first value invalid.
    double getCurrentAmbientLight() override;

  private:
    static void interestMessage(void* refCon, io_service_t service, natural_t messageType,
                                void* messageArgument);

    // The open connection to the controller; 0 until opened.
    io_connect_t connect = 0;
    IONotificationPortRef notificationPort;
    io_object_t notification = 0;
};
