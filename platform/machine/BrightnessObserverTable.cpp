#include "machine/BrightnessObserverTable.h"

#include <memory>

namespace platform {

void BrightnessObserverTable::add(CGDirectDisplayID display, CGDirectDisplayID observer,
                                  DisplayServicesBrightnessChangeCallback callback) {
    observers_[{display, observer}] = std::move(callback);
}

bool BrightnessObserverTable::remove(CGDirectDisplayID display, CGDirectDisplayID observer) {
    return observers_.erase({display, observer}) > 0;
}

std::vector<CGDirectDisplayID> BrightnessObserverTable::observedDisplays() const {
    std::vector<CGDirectDisplayID> displays;
    for (const auto& entry : observers_) {
        if (displays.empty() || displays.back() != entry.first.first)
            displays.push_back(entry.first.first);
    }
    return displays;
}

void BrightnessObserverTable::deliver(CGDirectDisplayID display, double brightness) const {
    auto info = std::make_shared<PlistDictionary>();
    (*info)[kDisplayServicesBrightnessValueKey] = PlistValue::real(brightness);
    // A copy: a callback may unregister itself or another.
    const auto current = observers_;
    for (const auto& [key, callback] : current) {
        if (key.first == display)
            callback(key.second, info);
    }
}

}  // namespace platform
