#include "Foundation/NSDistributedNotificationCenter.h"

#include "Machine.h"

NSDistributedNotificationCenter& NSDistributedNotificationCenter::defaultCenter() {
    static NSDistributedNotificationCenter center;
    return center;
}

void NSDistributedNotificationCenter::postNotificationName(const std::string& name,
                                                           const std::optional<std::string>& object) {
    platform::Machine::current().distributedNotifications().post(name, object ? &*object : nullptr);
}

int NSDistributedNotificationCenter::addObserver(std::function<void(const std::string&)> handler,
                                                 const std::string& name) {
    return platform::Machine::current().distributedNotifications().observe(
        name, [handler = std::move(handler)](const std::string& n, const std::string*) { handler(n); });
}

void NSDistributedNotificationCenter::removeObserver(int token) {
    platform::Machine::current().distributedNotifications().removeObserver(token);
}
