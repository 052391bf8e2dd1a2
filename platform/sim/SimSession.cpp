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

bool SimSession::held(const std::string& name) const {
    return sessionBusAvailable &&
           (namesOwnedElsewhere.count(name) ||
            std::find(claimedNames.begin(), claimedNames.end(), name) != claimedNames.end());
}

int SimSession::watchSessionBusName(const std::string& name, std::function<void(bool)> handler) {
    const int token = nextWatch_++;
    nameWatches_[token] = {name, std::move(handler)};
    deliverLater([this, token] {
        if (auto it = nameWatches_.find(token); it != nameWatches_.end())
            it->second.handler(held(it->second.name));
    });
    return token;
}

void SimSession::unwatchSessionBusName(int token) {
    nameWatches_.erase(token);
}

void SimSession::setNameHeldElsewhere(const std::string& name, bool isHeld) {
    if (isHeld)
        namesOwnedElsewhere.insert(name);
    else
        namesOwnedElsewhere.erase(name);
    deliverLater([this, name] {
        auto watches = nameWatches_;
        for (const auto& [token, watch] : watches)
            if (watch.name == name && nameWatches_.count(token))
                watch.handler(held(name));
        auto values = valueWatches_;
        for (const auto& [token, watch] : values)
            if (watch.name == name && valueWatches_.count(token))
                watch.handler(valueOf(name, watch.key));
    });
}

bool SimSession::canSwitchOffDesktopAutomaticBrightness() {
    return automaticBrightnessSwitchable &&
           (automaticBrightness == DesktopAutomaticBrightness::On ||
            automaticBrightness == DesktopAutomaticBrightness::Off);
}

bool SimSession::switchOffDesktopAutomaticBrightness() {
    if (switchOffFails || !canSwitchOffDesktopAutomaticBrightness())
        return false;
    automaticBrightness = DesktopAutomaticBrightness::Off;
    return true;
}

int SimSession::watchDesktopAutomaticBrightness(std::function<void()> handler) {
    automaticBrightnessWatches_[nextAutomaticBrightnessWatch_] = std::move(handler);
    return nextAutomaticBrightnessWatch_++;
}

void SimSession::unwatchDesktopAutomaticBrightness(int token) {
    automaticBrightnessWatches_.erase(token);
}

void SimSession::setAutomaticBrightness(DesktopAutomaticBrightness setting) {
    deliverLater([this, setting] {
        automaticBrightness = setting;
        auto watches = automaticBrightnessWatches_;
        for (const auto& [token, handler] : watches)
            if (automaticBrightnessWatches_.count(token))
                handler();
    });
}

void SimSession::observeSessionState(std::function<void(const SessionState&)> handler) {
    stateHandlers_.push_back(std::move(handler));
}

void SimSession::setSessionState(const SessionState& state) {
    deliverLater([this, state] {
        state_ = state;
        for (const auto& h : stateHandlers_)
            h(state_);
    });
}

std::optional<std::string> SimSession::valueOf(const std::string& name,
                                               const std::string& key) const {
    auto it = published.find({name, key});
    if (!held(name) || it == published.end())
        return std::nullopt;
    return it->second;
}

void SimSession::tellValueWatchers(const std::string& name, const std::string& key) {
    deliverLater([this, name, key] {
        auto watches = valueWatches_;
        for (const auto& [token, watch] : watches)
            if (watch.name == name && watch.key == key && valueWatches_.count(token))
                watch.handler(valueOf(name, key));
    });
}

void SimSession::publishSessionValue(const std::string& key, const std::string& value) {
    for (const auto& name : claimedNames) {
        published[{name, key}] = value;
        tellValueWatchers(name, key);
    }
}

void SimSession::publishElsewhere(const std::string& name, const std::string& key,
                                  const std::optional<std::string>& value) {
    if (value)
        published[{name, key}] = *value;
    else
        published.erase({name, key});
    tellValueWatchers(name, key);
}

int SimSession::watchSessionValue(const std::string& name, const std::string& key,
                                  std::function<void(const std::optional<std::string>&)> handler) {
    const int token = nextWatch_++;
    valueWatches_[token] = {name, key, std::move(handler)};
    deliverLater([this, token] {
        if (auto it = valueWatches_.find(token); it != valueWatches_.end())
            it->second.handler(valueOf(it->second.name, it->second.key));
    });
    return token;
}

void SimSession::unwatchSessionValue(int token) {
    valueWatches_.erase(token);
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
