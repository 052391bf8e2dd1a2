#include "linux/foundation/LinuxDispatch.h"

#include <glib.h>
#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include "machine/Machine.h"

namespace platform::linux_machine {
namespace {

using Clock = std::chrono::steady_clock;

// The machine's absolute time `when` on the steady clock, which no change of
// the wall clock moves.
Clock::time_point steadyTimeFor(double when) {
    const double wait = when - Machine::current().absoluteTime();
    const auto now = Clock::now();
    if (!(wait > 0))
        return now;
    return now + std::chrono::duration_cast<Clock::duration>(
                     std::chrono::duration<double>(std::min(wait, 1e6)));
}

struct QueueState {
    std::mutex mutex;
    std::condition_variable wake;
    // By start time, then submission order.
    std::multimap<Clock::time_point, std::function<void()>> blocks;
    bool stopping = false;
    bool finished = false;  // the thread has left its loop
};

// The states of every queue's thread, for stopThreadQueues.
std::mutex gQueuesMutex;
std::set<std::shared_ptr<QueueState>> gQueues;

void serve(std::shared_ptr<QueueState> state) {
    std::unique_lock lock(state->mutex);
    for (;;) {
        if (state->stopping) {
            state->finished = true;
            state->wake.notify_all();
            return;
        }
        if (state->blocks.empty()) {
            state->wake.wait(lock);
            continue;
        }
        auto first = state->blocks.begin();
        if (first->first > Clock::now()) {
            state->wake.wait_until(lock, first->first);
            continue;
        }
        auto block = std::move(first->second);
        state->blocks.erase(first);
        lock.unlock();
        block();
        block = nullptr;  // what it held goes outside the lock
        lock.lock();
    }
}

class ThreadQueue : public DispatchQueue {
  public:
    explicit ThreadQueue(const std::string& label) : state_(std::make_shared<QueueState>()) {
        thread_ = std::thread(serve, state_);
        // Thread names hold 15 characters.
        pthread_setname_np(thread_.native_handle(), label.substr(0, 15).c_str());
        std::lock_guard lock(gQueuesMutex);
        gQueues.insert(state_);
    }

    ~ThreadQueue() override {
        {
            std::lock_guard lock(gQueuesMutex);
            gQueues.erase(state_);
        }
        std::multimap<Clock::time_point, std::function<void()>> dropped;
        {
            std::lock_guard lock(state_->mutex);
            state_->stopping = true;
            dropped.swap(state_->blocks);
        }
        state_->wake.notify_all();
        // The last reference may go inside one of the queue's own blocks.
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }

    void enqueue(double when, std::function<void()> block) override {
        const auto start = steadyTimeFor(when);
        {
            std::lock_guard lock(state_->mutex);
            state_->blocks.emplace(start, std::move(block));
        }
        state_->wake.notify_all();
    }

  private:
    std::shared_ptr<QueueState> state_;
    std::thread thread_;
};

gboolean runOnce(gpointer data) {
    (*static_cast<std::function<void()>*>(data))();
    return G_SOURCE_REMOVE;
}

void deleteBlock(gpointer data) {
    delete static_cast<std::function<void()>*>(data);
}

// Sources attached from any thread; the context wakes for them.
class MainContextQueue : public DispatchQueue {
  public:
    void enqueue(double when, std::function<void()> block) override {
        const double wait = when - Machine::current().absoluteTime();
        GSource* source = wait > 0 ? g_timeout_source_new(static_cast<guint>(wait * 1000.0 + 0.5))
                                   : g_idle_source_new();
        g_source_set_priority(source, G_PRIORITY_DEFAULT);
        g_source_set_callback(source, runOnce, new std::function<void()>(std::move(block)),
                              deleteBlock);
        g_source_attach(source, g_main_context_default());
        g_source_unref(source);
        g_main_context_wakeup(g_main_context_default());
    }
};

}  // namespace

std::shared_ptr<DispatchQueue> createThreadQueue(const std::string& label) {
    return std::make_shared<ThreadQueue>(label);
}

void stopThreadQueues() {
    std::set<std::shared_ptr<QueueState>> queues;
    {
        std::lock_guard lock(gQueuesMutex);
        queues = gQueues;
    }
    for (const auto& state : queues) {
        std::multimap<Clock::time_point, std::function<void()>> dropped;
        std::unique_lock lock(state->mutex);
        state->stopping = true;
        dropped.swap(state->blocks);
        state->wake.notify_all();
        state->wake.wait(lock, [&] { return state->finished; });
        lock.unlock();  // what the dropped blocks hold goes outside the lock
    }
}

std::shared_ptr<DispatchQueue> mainContextQueue() {
    static auto queue = std::make_shared<MainContextQueue>();
    return queue;
}

}  // namespace platform::linux_machine
