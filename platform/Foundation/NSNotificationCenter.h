// The process-local notification centre: synchronous delivery on the posting
// thread, observers by name and object.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/PropertyList.h"

struct NSNotification {
    std::string name;
    // The notification's object: a property-list value (a number, for the
    // ambient light level), or absent.
    std::optional<PlistValue> object;
};

class NSNotificationCenter {
  public:
    using Selector = std::function<void(const NSNotification&)>;

    static NSNotificationCenter& defaultCenter();

    // `observer` identifies the registration for removal. An empty name
    // observes every name; an absent object observes every object.
    void addObserver(const void* observer, Selector selector, const std::string& name,
                     const std::optional<PlistValue>& object);
    // Removes `observer` for every name.
    void removeObserver(const void* observer);
    void postNotificationName(const std::string& name, const std::optional<PlistValue>& object);

  private:
    struct Registration {
        const void* observer;
        Selector selector;
        std::string name;
        std::optional<PlistValue> object;
        bool removed = false;
    };
    std::vector<std::shared_ptr<Registration>> registrations_;
};
