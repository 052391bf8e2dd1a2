#include "Foundation/NSNotificationCenter.h"

#include <memory>

NSNotificationCenter& NSNotificationCenter::defaultCenter() {
    static NSNotificationCenter center;
    return center;
}

void NSNotificationCenter::addObserver(const void* observer, Selector selector,
                                       const std::string& name,
                                       const std::optional<PlistValue>& object) {
    registrations_.push_back(
        std::make_shared<Registration>(Registration{observer, std::move(selector), name, object}));
}

void NSNotificationCenter::removeObserver(const void* observer) {
    for (auto& r : registrations_)
        if (r->observer == observer)
            r->removed = true;
    std::erase_if(registrations_, [](const auto& r) { return r->removed; });
}

void NSNotificationCenter::postNotificationName(const std::string& name,
                                                const std::optional<PlistValue>& object) {
    NSNotification note{name, object};
    // A copy: an observer may add or remove observers while it runs.
    auto current = registrations_;
    for (auto& r : current) {
        if (r->removed)
            continue;
        if (!r->name.empty() && r->name != name)
            continue;
        if (r->object && (!object || !(*r->object == *object)))
            continue;
        r->selector(note);
    }
}
