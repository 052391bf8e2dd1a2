// The values a desktop route sent lately: an announcement or a reading of any
// of them is this process's own value coming back, also when it arrives after
// a newer one was sent (a desktop works through what it is sent in its own
// time, and may animate each value).
#pragma once

#include <chrono>
#include <deque>
#include <optional>

namespace platform::linux_machine {

template <typename Value>
class SentValues {
  public:
    using Clock = std::chrono::steady_clock;
    // How long a value sent may still come back after newer ones.
    static constexpr std::chrono::seconds kLate{2};

    void sent(Value value, Clock::time_point now = Clock::now()) {
        values_.push_back({now, value});
        while (values_.size() > 1 && now - values_.front().first > kLate)
            values_.pop_front();
    }
    // True for the last value sent, and for any sent within kLate before now.
    template <typename Matches>
    bool any(Matches matches, Clock::time_point now = Clock::now()) const {
        for (auto it = values_.rbegin(); it != values_.rend(); ++it) {
            if (it != values_.rbegin() && now - it->first > kLate)
                break;
            if (matches(it->second))
                return true;
        }
        return false;
    }
    bool contains(const Value& value, Clock::time_point now = Clock::now()) const {
        return any([&](const Value& v) { return v == value; }, now);
    }
    std::optional<Value> last() const {
        return values_.empty() ? std::nullopt : std::optional<Value>(values_.back().second);
    }
    void clear() { values_.clear(); }

  private:
    std::deque<std::pair<Clock::time_point, Value>> values_;
};

}  // namespace platform::linux_machine
