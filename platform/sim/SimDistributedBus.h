// Distributed notifications on the simulated machine: a journal of posts, and
// delivery to observers through the run loop, as from another process.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "machine/Machine.h"

namespace platform::sim {

class SimDistributedBus : public DistributedNotificationBus {
  public:
    explicit SimDistributedBus(Machine& machine) : machine_(machine) {}

    struct Post {
        std::string name;
        std::optional<std::string> object;
    };

    void post(const std::string& name, const std::string* object) override;
    int observe(const std::string& name, Handler handler) override;
    void removeObserver(int token) override;

    // Delivers a notification as if another process had posted it (through
    // the run loop, like a real bus message). Not journalled as a post.
    void deliverFromOtherProcess(const std::string& name,
                                 std::optional<std::string> object = std::nullopt);

    std::vector<Post> posts;
    bool unreachable = false;  // posting then logs and drops the notification
    // Called inside each post, so a test sees the machine as it was at that moment.
    std::function<void(const Post&)> onPost;

  private:
    void enqueue(const std::string& name, std::optional<std::string> object);
    Machine& machine_;
    std::map<int, std::pair<std::string, Handler>> observers_;
    int nextToken_ = 1;
    std::vector<Post> pending_;
    CFRunLoopSourceRef source_;
};

}  // namespace platform::sim
