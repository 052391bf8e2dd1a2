#include "machine/LightEstimate.h"

#include "machine/LightSensorBackend.h"
#include "machine/Machine.h"

namespace platform {

void setLightEstimateOptions(const LightEstimateOptions& options) {
    Machine::current().lightSensor().setEstimateOptions(options);
}

std::optional<LightEstimateInUse> lightServiceClientEstimate() {
    return Machine::current().lightSensor().serviceClientEstimate();
}

std::optional<LightEstimateInUse> lightControllerEstimate() {
    return Machine::current().lightSensor().controllerEstimate();
}

int watchLightEstimate(std::function<void()> handler) {
    return Machine::current().lightSensor().watchEstimate(std::move(handler));
}

void unwatchLightEstimate(int token) {
    if (Machine::isInstalled())
        Machine::current().lightSensor().unwatchEstimate(token);
}

}  // namespace platform
