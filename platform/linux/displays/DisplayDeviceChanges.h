// Tells whether backlights or DRM connectors may have come or gone since it
// was last asked, without a run loop: each question reads the device events
// pending (DeviceEvents.h) without waiting. A fade blocks the run loop, so a
// source on it would be heard only after the fade.
//
// While watched, the same events also wake the main run loop as they come,
// and the change events of backlights read by either way are kept for the one
// who watches: a backlight's change says it was written or changed by its
// firmware, not that devices came or went.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "linux/devices/DeviceEvents.h"

namespace platform::linux_machine {

class DisplayDeviceChanges {
  public:
    DisplayDeviceChanges() = default;
    ~DisplayDeviceChanges();
    DisplayDeviceChanges(const DisplayDeviceChanges&) = delete;
    DisplayDeviceChanges& operator=(const DisplayDeviceChanges&) = delete;

    // True when a backlight or connector came or went since the last call, or
    // a monitor was plugged into or out of an output; at the first call; and
    // at every call when changes cannot be seen (nothing may then be kept).
    // A backlight's change event (every write of its brightness brings one)
    // is no such change.
    bool changed();

    // From now on `readable` runs on GLib's default main context whenever
    // events are pending, and backlights' change events are kept until taken.
    // False when changes cannot be seen.
    bool watch(std::function<void()> readable);
    void unwatch();
    // The backlights' change events read since the last call, oldest first.
    std::vector<DeviceEvent> takeBacklightChanges();

  private:
    static int onReadable(int fd, unsigned condition, void* self);
    void open();
    // Reads what is pending: true when devices came or went.
    bool readPending();

    bool opened_ = false;
    bool asked_ = false;
    // Devices came or went, read by the watch: for the next changed().
    bool stale_ = false;
    std::unique_ptr<DeviceEvents> events_;
    std::function<void()> readable_;
    unsigned source_ = 0;
    std::vector<DeviceEvent> backlightChanges_;
};

}  // namespace platform::linux_machine
