// The EDIDs read at address 0x50 of I2C buses that nothing in sysfs ties to
// a DRM connector (an NVIDIA card's buses, a DisplayPort MST hub's "DPMST"
// ones, an older i915's gmbus), read on a thread of their own so that nobody
// who asks waits for a bus, and kept until the bus goes or a monitor is
// plugged in or out.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace platform::linux_machine {

class BusEdids {
  public:
    // `read` runs on the main context each time a reading has come in.
    explicit BusEdids(std::function<void()> read);
    ~BusEdids();
    BusEdids(const BusEdids&) = delete;
    BusEdids& operator=(const BusEdids&) = delete;

    struct Reading {
        std::optional<std::vector<std::uint8_t>> edid;  // the base block
        std::string why;                                // when there is none
    };
    // What was read on the bus at `node` (keyed by the adapter's folder);
    // absent while it is being read (the reading is started here).
    std::optional<Reading> at(const std::string& adapterFolder, const std::string& node);
    // Forgets every reading (a monitor came or went), and those of buses not
    // in `present`.
    void forgetAll();
    void keepOnly(const std::vector<std::string>& adapterFolders);

  private:
    void run();

    std::function<void()> read_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<std::string, Reading> readings_;
    std::map<std::string, std::string> asked_;  // adapter folder -> node, waiting or being read
    std::deque<std::string> queue_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace platform::linux_machine
