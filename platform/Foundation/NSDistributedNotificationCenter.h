// Notifications to and from other processes of the same user.
#pragma once

#include <functional>
#include <optional>
#include <string>

class NSDistributedNotificationCenter {
public:
    static NSDistributedNotificationCenter& defaultCenter();

    // Posts `name` with an optional string object. Never fails to the caller:
    // when no bus is reachable a line is logged and the caller goes on.
    void postNotificationName(const std::string& name,
                              const std::optional<std::string>& object = std::nullopt);
    // Observes `name` from any process; delivered on the run loop. Returns a
    // token for removeObserver.
    int addObserver(std::function<void(const std::string& name)> handler, const std::string& name);
    void removeObserver(int token);
};
