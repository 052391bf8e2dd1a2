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
    // Observes `name` from any process; delivered on the run loop with the
    // notification's object, if it had one. Returns a token for removeObserver.
    using Handler =
        std::function<void(const std::string& name, const std::optional<std::string>& object)>;
    int addObserver(Handler handler, const std::string& name);
    void removeObserver(int token);
};
