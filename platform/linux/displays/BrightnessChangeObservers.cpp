#include "linux/displays/BrightnessChangeObservers.h"

#include <algorithm>

#include "linux/foundation/MainContextPost.h"

namespace platform::linux_machine {

struct BrightnessChangeObservers::Shared {
    Reader read;
    BrightnessObserverTable observers;

    void deliver(CGDirectDisplayID display, std::optional<double> value) {
        if (!value && read)
            value = read(display);
        if (value)
            observers.deliver(display, std::clamp(*value, 0.0, 1.0));
    }
};

BrightnessChangeObservers::BrightnessChangeObservers(Reader read)
    : shared_(std::make_shared<Shared>()) {
    shared_->read = std::move(read);
}

BrightnessChangeObservers::~BrightnessChangeObservers() = default;

void BrightnessChangeObservers::add(CGDirectDisplayID display, CGDirectDisplayID observer,
                                    DisplayServicesBrightnessChangeCallback callback) {
    shared_->observers.add(display, observer, std::move(callback));
}

bool BrightnessChangeObservers::remove(CGDirectDisplayID display, CGDirectDisplayID observer) {
    return shared_->observers.remove(display, observer);
}

std::vector<CGDirectDisplayID> BrightnessChangeObservers::observedDisplays() const {
    return shared_->observers.observedDisplays();
}

void BrightnessChangeObservers::report(CGDirectDisplayID display, std::optional<double> value) {
    // Only the main thread touches the observers, and only while they live.
    std::weak_ptr<Shared> weak = shared_;
    postToMainContext([weak, display, value] {
        if (auto shared = weak.lock())
            shared->deliver(display, value);
    });
}

}  // namespace platform::linux_machine
