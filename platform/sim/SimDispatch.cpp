#include "sim/SimDispatch.h"

#include <algorithm>

#include "CoreFoundation/CFRunLoop.h"

namespace platform::sim {

class SimDispatch::Queue : public DispatchQueue {
  public:
    Queue(std::string label, std::uint64_t* sequence)
        : label(std::move(label)), sequence_(sequence) {}

    void enqueue(double when, std::function<void()> block) override {
        blocks.emplace(Key{when, (*sequence_)++}, std::move(block));
    }

    struct Key {
        double when;
        std::uint64_t sequence;
        bool operator<(const Key& other) const {
            return when != other.when ? when < other.when : sequence < other.sequence;
        }
    };
    std::string label;
    std::map<Key, std::function<void()>> blocks;
    double readyAt = -std::numeric_limits<double>::infinity();

  private:
    std::uint64_t* sequence_;
};

namespace {

// Main-queue blocks become timers of the main thread's run loop in every
// mode: due ones fire at its next turn, in the order they were submitted.
class MainQueue : public DispatchQueue {
  public:
    void enqueue(double when, std::function<void()> block) override {
        auto timer = CFRunLoopTimerCreateWithHandler(
            kCFAllocatorDefault, when, 0, 0, 0,
            [block = std::move(block)](CFRunLoopTimerRef) { block(); });
        CFRunLoopAddTimer(CFRunLoopGetCurrent(), timer, kCFRunLoopCommonModes);
    }
};

}  // namespace

std::shared_ptr<DispatchQueue> SimDispatch::createQueue(const std::string& label) {
    auto queue = std::make_shared<Queue>(label, &nextSequence_);
    queues_.push_back(queue);
    return queue;
}

std::shared_ptr<DispatchQueue> SimDispatch::mainQueue() {
    if (!main_)
        main_ = std::make_shared<MainQueue>();
    return main_;
}

std::shared_ptr<SimDispatch::Queue> SimDispatch::earliest(double* start) const {
    std::shared_ptr<Queue> found;
    Queue::Key best{std::numeric_limits<double>::infinity(), 0};
    for (const auto& weak : queues_) {
        auto queue = weak.lock();
        if (!queue || queue->blocks.empty())
            continue;
        const auto& first = queue->blocks.begin()->first;
        const Queue::Key key{std::max(first.when, queue->readyAt), first.sequence};
        if (!found || key < best) {
            found = queue;
            best = key;
        }
    }
    *start = best.when;
    return found;
}

double SimDispatch::nextStart() const {
    double start = 0;
    return earliest(&start) ? start : std::numeric_limits<double>::infinity();
}

void SimDispatch::runUntil(double until) {
    // A block that runs the main thread's clock (it never does on a real
    // thread) must not start others inside itself.
    if (running_)
        return;
    for (;;) {
        std::erase_if(queues_, [](const auto& weak) { return weak.expired(); });
        double start = 0;
        auto queue = earliest(&start);
        if (!queue || start > until)
            return;
        auto first = queue->blocks.begin();
        auto block = std::move(first->second);
        queue->blocks.erase(first);
        running_ = true;
        blockClock_ = start;
        block();
        block = nullptr;  // what it held goes while the block still counts as running
        running_ = false;
        queue->readyAt = blockClock_;
    }
}

}  // namespace platform::sim
