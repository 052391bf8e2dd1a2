#include "linux/displays/LogindSender.h"

#include <glib.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "base/HexText.h"
#include "linux/displays/LogindBrightness.h"
#include "machine/Machine.h"

namespace platform::linux_machine {
namespace {

class Sender {
  public:
    // Never destroyed: its thread may still be waiting for logind while the
    // process runs its exit handlers.
    static Sender& instance() {
        static Sender* const sender = new Sender();
        return *sender;
    }

    void send(const std::string& name, std::uint32_t raw) {
        {
            std::lock_guard lock(mutex_);
            pending_[name] = raw;
            start();
        }
        wake_.notify_one();
    }

    std::optional<bool> canSet() {
        {
            std::lock_guard lock(mutex_);
            if (canSet_ || askCanSet_)
                return canSet_;
            askCanSet_ = true;
            start();
        }
        wake_.notify_one();
        return std::nullopt;
    }

  private:
    void start() {
        if (started_)
            return;
        started_ = true;
        std::thread([this] { run(); }).detach();
    }

    [[noreturn]] void run() {
        for (;;) {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return !pending_.empty() || (askCanSet_ && !canSet_); });
            if (askCanSet_ && !canSet_) {
                lock.unlock();
                const bool can = logindSessionCanSetBrightness();
                lock.lock();
                canSet_ = can;
                continue;
            }
            const auto [name, raw] = *pending_.begin();
            pending_.erase(pending_.begin());
            lock.unlock();
            const IOReturn status = logindSetBacklight(name, raw);
            if (status != kIOReturnSuccess)
                logOnMainLoop("systemd-logind did not set backlight " + name + " to " +
                              std::to_string(raw) + " (status " +
                              hexText(static_cast<std::uint32_t>(status)) + ")");
        }
    }

    static void logOnMainLoop(std::string line) {
        g_main_context_invoke_full(
            g_main_context_default(), G_PRIORITY_DEFAULT,
            [](gpointer l) -> gboolean {
                if (Machine::isInstalled())
                    Machine::current().writeLog(*static_cast<std::string*>(l));
                return G_SOURCE_REMOVE;
            },
            new std::string(std::move(line)),
            [](gpointer l) { delete static_cast<std::string*>(l); });
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<std::string, std::uint32_t> pending_;
    bool askCanSet_ = false;
    std::optional<bool> canSet_;
    bool started_ = false;
};

}  // namespace

bool logindCallsMustNotWait() {
    return Machine::isInstalled() && Machine::current().mainThreadNeverWaits();
}

void sendLogindBacklight(const std::string& name, std::uint32_t raw) {
    Sender::instance().send(name, raw);
}

std::optional<bool> logindSessionCanSetBrightnessKnown() {
    return Sender::instance().canSet();
}

}  // namespace platform::linux_machine
