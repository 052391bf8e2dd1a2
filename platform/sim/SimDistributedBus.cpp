#include "sim/SimDistributedBus.h"

#include "CoreFoundation/CFRunLoop.h"

namespace platform::sim {

void SimDistributedBus::post(const std::string& name, const std::string* object) {
    if (unreachable) {
        machine_.writeLog("Distributed notification " + name + " not posted: no session bus");
        return;
    }
    posts.push_back({name, object ? std::optional<std::string>(*object) : std::nullopt});
    if (onPost)
        onPost(posts.back());
    enqueue(name, object ? std::optional<std::string>(*object) : std::nullopt);
}

void SimDistributedBus::deliverFromOtherProcess(const std::string& name,
                                                std::optional<std::string> object) {
    enqueue(name, std::move(object));
}

void SimDistributedBus::enqueue(const std::string& name, std::optional<std::string> object) {
    if (observers_.empty())
        return;
    pending_.push_back({name, std::move(object)});
    if (!source_) {
        source_ = CFRunLoopSourceCreate([this] {
            auto batch = std::move(pending_);
            pending_.clear();
            for (const auto& p : batch) {
                auto observers = observers_;
                for (auto& [token, entry] : observers)
                    if (entry.first == p.name && observers_.count(token))
                        entry.second(p.name, p.object ? &*p.object : nullptr);
            }
        });
        CFRunLoopAddSource(CFRunLoopGetCurrent(), source_, kCFRunLoopCommonModes);
    }
    CFRunLoopSourceSignal(source_);
}

int SimDistributedBus::observe(const std::string& name, Handler handler) {
    int token = nextToken_++;
    observers_[token] = {name, std::move(handler)};
    return token;
}

void SimDistributedBus::removeObserver(int token) {
    observers_.erase(token);
}

}  // namespace platform::sim
