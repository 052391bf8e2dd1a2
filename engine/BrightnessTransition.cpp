// Moves up to two active displays to their targets, at once or in a fade of
// 100 equal steps 10 ms apart. The fade blocks the calling thread (and its run
// loop), so the monitor set cannot change while it runs.
#include <cmath>

#include "CoreGraphics/CGDirectDisplay.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSProcessInfo.h"
#include "engine/BrightnessController.h"
#include "engine/DdcMonitors.h"

namespace {

constexpr std::uint32_t kMaxDisplays = 2;
constexpr std::uint32_t kFadeStepMicroseconds = 10000;

}  // namespace

bool BrightnessController::worthFading(double from, double to) {
    return std::fabs((to - from) / kFadeSteps) >= kSmallestFadedIncrement;
}

void BrightnessController::setBrightnessForInternalDisplay(double internal, double external,
                                                           bool smooth) {
    moveDisplays(internal, external, smooth);
}

void BrightnessController::moveDisplays(std::optional<double> internal,
                                        std::optional<double> external, bool smooth) {
    CGDirectDisplayID displays[kMaxDisplays] = {};
    CGDisplayCount count = 0;
    if (CGGetActiveDisplayList(kMaxDisplays, displays, &count) != kCGErrorSuccess) {
        NSLog("CGGetActiveDisplayList() failed to get active display list");
        return;
    }
    if (count > kMaxDisplays)
        count = kMaxDisplays;
    // Monitors on DDC/CI answer for themselves where the display list shows
    // no external output (NVIDIA reports a connected output as disabled, and
    // lists none without modesetting): they take the external target from
    // their own writer, which sends only the end of a fade anyway.
    if (external && count < 2 && ddcMonitors_->anyAttached() &&
        (count == 0 || CGDisplayIsBuiltin(displays[0])))
        ddcMonitors_->setBrightness(*external);
    if (count == 0)
        return;

    // The built-in display takes the internal target. Only the first display
    // is tested, so two external displays are exchanged as well.
    if (count == 2 && !CGDisplayIsBuiltin(displays[0]))
        std::swap(displays[0], displays[1]);

    const std::optional<double> targets[kMaxDisplays] = {internal, external};
    double current[kMaxDisplays] = {};
    double increments[kMaxDisplays] = {};
    bool anyFade = false;
    for (CGDisplayCount i = 0; i < count; ++i) {
        if (!targets[i])
            continue;  // left alone: neither read nor written
        current[i] = getBrightness(displays[i]);
        increments[i] = (*targets[i] - current[i]) / kFadeSteps;
        anyFade = anyFade || BrightnessController::worthFading(current[i], *targets[i]);
    }

    if (!smooth || !anyFade) {
        for (CGDisplayCount i = 0; i < count; ++i)
            if (targets[i])
                setBrightness(*targets[i], displays[i]);
        return;
    }

    for (int step = 0; step < kFadeSteps; ++step) {
        for (CGDisplayCount i = 0; i < count; ++i) {
            if (!targets[i])
                continue;
            current[i] += increments[i];
            // A hundred sums of the increment can fall a hair short of the
            // target, one raw step on an 8-bit monitor: the last step is the
            // target itself.
            setBrightness(step == kFadeSteps - 1 ? *targets[i] : current[i], displays[i]);
        }
        platform::usleep(kFadeStepMicroseconds);
    }
}
