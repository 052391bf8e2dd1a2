#include "linux/displays/BrightnessChangeObservers.h"

#include <algorithm>

#include "linux/foundation/MainContextPost.h"

namespace platform::linux_machine {

struct BrightnessChangeObservers::Shared {
    Reader read;
    std::map<std::pair<CGDirectDisplayID, CGDirectDisplayID>,
             DisplayServicesBrightnessChangeCallback>
        observers;

    void deliver(CGDirectDisplayID display, std::optional<double> value) {
        if (!value && read)
            value = read(display);
        if (!value)
            return;
        auto info = std::make_shared<PlistDictionary>();
        (*info)[kDisplayServicesBrightnessValueKey] =
            PlistValue::real(std::clamp(*value, 0.0, 1.0));
        // A copy: a callback may unregister itself or another.
        auto current = observers;
        for (const auto& [key, callback] : current) {
            if (key.first == display)
                callback(key.second, info);
        }
    }
};

BrightnessChangeObservers::BrightnessChangeObservers(Reader read)
    : shared_(std::make_shared<Shared>()) {
    shared_->read = std::move(read);
}

BrightnessChangeObservers::~BrightnessChangeObservers() = default;

void BrightnessChangeObservers::add(CGDirectDisplayID display, CGDirectDisplayID observer,
                                    DisplayServicesBrightnessChangeCallback callback) {
    shared_->observers[{display, observer}] = std::move(callback);
}

bool BrightnessChangeObservers::remove(CGDirectDisplayID display, CGDirectDisplayID observer) {
    return shared_->observers.erase({display, observer}) > 0;
}

std::vector<CGDirectDisplayID> BrightnessChangeObservers::observedDisplays() const {
    std::vector<CGDirectDisplayID> displays;
    for (const auto& entry : shared_->observers) {
        if (displays.empty() || displays.back() != entry.first.first)
            displays.push_back(entry.first.first);
    }
    return displays;
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
