#include "Foundation/NSDistributedNotificationCenter.h"

#include "machine/Machine.h"

NSDistributedNotificationCenter& NSDistributedNotificationCenter::defaultCenter() {
    static NSDistributedNotificationCenter center;
    return center;
}

void NSDistributedNotificationCenter::postNotificationName(
    const std::string& name, const std::optional<std::string>& object) {
    platform::Machine::current().distributedNotifications().post(name, object ? &*object : nullptr);
}

int NSDistributedNotificationCenter::addObserver(Handler handler, const std::string& name) {
    return platform::Machine::current().distributedNotifications().observe(
        name, [handler = std::move(handler)](const std::string& n, const std::string* object) {
            handler(n, object ? std::optional<std::string>(*object) : std::nullopt);
        });
}

void NSDistributedNotificationCenter::removeObserver(int token) {
    platform::Machine::current().distributedNotifications().removeObserver(token);
}
