#include "linux/devices/HotplugWatch.h"

#include <glib-unix.h>
#include <glib.h>

#include "Foundation/NSLog.h"

namespace platform::linux_machine {

HotplugWatch::HotplugWatch(const std::vector<std::string>& subsystems, const std::string& unwatched,
                           std::function<void(const std::vector<DeviceEvent>&)> heard)
    : heard_(std::move(heard)) {
    std::string why;
    events_ = DeviceEvents::open(subsystems, false, &why);
    if (!events_) {
        NSLog("%s", why.c_str());
        NSLog("%s", unwatched.c_str());
        return;
    }
    source_ = g_unix_fd_add(events_->fd(), G_IO_IN,
                            reinterpret_cast<GUnixFDSourceFunc>(&HotplugWatch::onReadable), this);
}

HotplugWatch::~HotplugWatch() {
    if (source_)
        g_source_remove(source_);
}

int HotplugWatch::onReadable(int, unsigned, void* data) {
    auto* self = static_cast<HotplugWatch*>(data);
    auto events = self->events_->read();
    if (!events.empty())
        self->heard_(events);
    return G_SOURCE_CONTINUE;
}

}  // namespace platform::linux_machine
