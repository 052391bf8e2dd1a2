#include "linux/ddc/BusEdids.h"

#include <algorithm>

#include "linux/ddc/I2cDevChannel.h"
#include "linux/foundation/MainContextPost.h"

namespace platform::linux_machine {

BusEdids::BusEdids(std::function<void()> read) : read_(std::move(read)) {}

BusEdids::~BusEdids() {
    *alive_ = false;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

std::optional<BusEdids::Reading> BusEdids::at(const std::string& adapterFolder,
                                              const std::string& node) {
    std::lock_guard lock(mutex_);
    if (auto it = readings_.find(adapterFolder); it != readings_.end())
        return it->second;
    if (!asked_.count(adapterFolder)) {
        asked_[adapterFolder] = node;
        queue_.push_back(adapterFolder);
        if (!thread_.joinable())
            thread_ = std::thread([this] { run(); });
        wake_.notify_one();
    }
    return std::nullopt;
}

void BusEdids::forgetAll() {
    std::lock_guard lock(mutex_);
    readings_.clear();
}

void BusEdids::keepOnly(const std::vector<std::string>& adapterFolders) {
    std::lock_guard lock(mutex_);
    std::erase_if(readings_, [&](const auto& r) {
        return std::find(adapterFolders.begin(), adapterFolders.end(), r.first) ==
               adapterFolders.end();
    });
}

void BusEdids::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (stopping_)
            return;
        const std::string folder = queue_.front();
        queue_.pop_front();
        const std::string node = asked_[folder];
        lock.unlock();
        Reading reading;
        reading.edid = readEdidAt0x50(node, &reading.why);
        lock.lock();
        readings_[folder] = std::move(reading);
        asked_.erase(folder);
        if (queue_.empty()) {
            std::weak_ptr<bool> alive = alive_;
            postToMainContext([alive, read = read_] {
                if (auto a = alive.lock(); a && *a)
                    read();
            });
        }
    }
}

}  // namespace platform::linux_machine
