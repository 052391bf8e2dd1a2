#include "linux/displays/DisplayDeviceChanges.h"

#include <glib-unix.h>
#include <glib.h>

#include <string>
#include <utility>

namespace platform::linux_machine {

DisplayDeviceChanges::~DisplayDeviceChanges() {
    unwatch();
}

void DisplayDeviceChanges::open() {
    if (opened_)
        return;
    opened_ = true;
    std::string why;
    events_ = DeviceEvents::open({"backlight", "drm"}, true, &why);
}

bool DisplayDeviceChanges::changed() {
    open();
    const bool first = !asked_;
    asked_ = true;
    if (!events_)
        return true;
    const bool stale = readPending();
    return std::exchange(stale_, false) || stale || first;
}

bool DisplayDeviceChanges::readPending() {
    // A monitor plugged into a fixed port changes what its connector shows
    // (its EDID) with no device coming or going.
    bool stale = false;
    for (auto& event : events_->read()) {
        stale = stale || event.comesOrGoes() || event.drmHotplug();
        if (source_ && event.action == DeviceEvent::Action::Change &&
            event.subsystem == "backlight")
            backlightChanges_.push_back(std::move(event));
    }
    return stale;
}

bool DisplayDeviceChanges::watch(std::function<void()> readable) {
    open();
    if (!events_)
        return false;
    readable_ = std::move(readable);
    if (source_)
        return true;
    // What happened before is nobody's to hear.
    if (readPending())
        stale_ = true;
    source_ =
        g_unix_fd_add(events_->fd(), G_IO_IN,
                      reinterpret_cast<GUnixFDSourceFunc>(&DisplayDeviceChanges::onReadable), this);
    return true;
}

void DisplayDeviceChanges::unwatch() {
    if (source_)
        g_source_remove(source_);
    source_ = 0;
    readable_ = nullptr;
    backlightChanges_.clear();
}

std::vector<DeviceEvent> DisplayDeviceChanges::takeBacklightChanges() {
    return std::exchange(backlightChanges_, {});
}

int DisplayDeviceChanges::onReadable(int, unsigned, void* data) {
    auto* self = static_cast<DisplayDeviceChanges*>(data);
    if (self->readPending())
        self->stale_ = true;
    self->readable_();
    return G_SOURCE_CONTINUE;
}

}  // namespace platform::linux_machine
