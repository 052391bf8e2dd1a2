#include "sim/SimSession.h"

#include <algorithm>

namespace platform::sim {

SessionNameClaim SimSession::claimSessionBusName(const std::string& name) {
    if (!sessionBusAvailable)
        return SessionNameClaim::Unavailable;
    if (namesOwnedElsewhere.count(name))
        return SessionNameClaim::OwnedElsewhere;
    claimedNames.push_back(name);
    return SessionNameClaim::Owned;
}

SessionNameOwner SimSession::sessionBusNameOwner(const std::string& name) {
    if (!sessionBusAvailable)
        return SessionNameOwner::NoBus;
    const bool claimed =
        std::find(claimedNames.begin(), claimedNames.end(), name) != claimedNames.end();
    return claimed || namesOwnedElsewhere.count(name) ? SessionNameOwner::Held
                                                      : SessionNameOwner::Free;
}

void SimSession::observeWake(std::function<void()> handler) {
    wakeHandlers_.push_back(std::move(handler));
}

void SimSession::observeTerminationRequest(std::function<void(int)> handler) {
    terminationHandlers_.push_back(std::move(handler));
}

void SimSession::wake() {
    deliverLater([this] {
        for (const auto& h : wakeHandlers_)
            h();
    });
}

void SimSession::requestTermination(int signal) {
    deliverLater([this, signal] {
        for (const auto& h : terminationHandlers_)
            h(signal);
    });
}

void SimSession::deliverLater(std::function<void()> event) {
    if (!source_) {
        source_ = CFRunLoopSourceCreate([this] {
            while (!pending_.empty()) {
                auto next = std::move(pending_.front());
                pending_.pop_front();
                next();
            }
        });
        CFRunLoopAddSource(CFRunLoopGetCurrent(), source_, kCFRunLoopCommonModes);
    }
    pending_.push_back(std::move(event));
    CFRunLoopSourceSignal(source_);
}

}  // namespace platform::sim
