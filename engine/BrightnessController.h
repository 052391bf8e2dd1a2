// The brightness engine: the curve, transitions, the built-in display, USB
// monitors and their watcher.
//
// This header is the surface the pane and the agent rely on.
#pragma once

class BrightnessController {
public:
    // The one engine of the process, created on the first call (which also
    // starts the USB monitor watcher).
    static BrightnessController* sharedInstance();
    // The sync request at the live ambient light level.
    void updateDisplayBrightness(bool smooth);
};
