// sharedInstance and the guarded initialiser.
#include <string>

#include "Foundation/NSException.h"
#include "engine/BrightnessController.h"
#include "engine/DdcMonitors.h"

namespace {

BrightnessController* gSharedInstance = nullptr;

const std::string kClassName = "BrightnessController";

}  // namespace

BrightnessController* BrightnessController::sharedInstance() {
    if (!gSharedInstance)
        gSharedInstance = new BrightnessController();
    return gSharedInstance;
}

BrightnessController::BrightnessController() {
    if (gSharedInstance) {
        throw NSException(NSInternalInconsistencyException,
                          "[" + kClassName + " init] cannot be called; use +[" + kClassName +
                              " sharedInstance] instead");
    }
    if (!initRootObject()) {
        throw NSException("BrightnessControllerInitFailed",
                          "Failed to init BrightnessController shared instance");
    }
    externalMonitorDeviceRefs.reserve(2);
    setupExternalMonitorDeviceRef();
    // Monitors on DDC/CI join like USB monitors: onto the curve at once.
    ddcMonitors_ = std::make_unique<duolume::DdcMonitors>([this] { monitorJoined(); });
}
