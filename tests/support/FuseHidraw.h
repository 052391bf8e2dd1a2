// Virtual Apple USB monitors behind hidraw-like nodes, served through FUSE so
// that the real HIDIOCGFEATURE / HIDIOCSFEATURE ioctls travel through the
// kernel. The file system is mounted over a folder (a virtual laptop's /dev)
// and holds one regular file per monitor ("hidraw3"). FUSE passes these
// ioctls to us because their data size is encoded in the ioctl number.
//
// Each monitor answers feature report 16 (2-byte little-endian brightness);
// other report IDs are refused as a real device stalls them (EPIPE). An
// unplugged monitor's node disappears and its open files answer ENODEV.
//
// Requests are served on a thread of the fixture's own, so the process that
// mounted the file system can use it (tests and the virtual-laptop program).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct fuse_session;

namespace testing_support {

class FuseHidraw {
  public:
    // Why FUSE cannot be used here, or absent when it can.
    static std::optional<std::string> unavailableReason();
    // Mounts over `mountPoint`; absent (with the reason in `why`) on failure.
    static std::unique_ptr<FuseHidraw> mount(const std::string& mountPoint, std::string* why);
    ~FuseHidraw();
    FuseHidraw(const FuseHidraw&) = delete;
    FuseHidraw& operator=(const FuseHidraw&) = delete;

    const std::string& mountPoint() const { return mountPoint_; }

    void addMonitor(const std::string& node, std::uint16_t brightness = 0x8000);
    // Unplugs: the node vanishes, open files fail with ENODEV.
    void unplug(const std::string& node);
    // After `writes` more brightness writes the monitor unplugs itself and
    // `unplugged` runs (on the file system's thread; it must not touch the mount).
    void unplugAfterWrites(const std::string& node, int writes, std::function<void()> unplugged);
    // Runs on every brightness write (on the file system's thread).
    void onWrite(std::function<void(const std::string& node, std::uint16_t value)> observer);

    std::uint16_t brightness(const std::string& node) const;
    void setBrightness(const std::string& node, std::uint16_t value);
    // Every brightness written, in order.
    std::vector<std::uint16_t> writes(const std::string& node) const;
    int reads(const std::string& node) const;

  private:
    struct Monitor {
        std::string node;
        std::uint64_t inode = 0;
        bool present = true;
        std::uint16_t brightness = 0;
        std::vector<std::uint16_t> writes;
        int reads = 0;
        int unplugAfter = -1;
        std::function<void()> unplugged;
    };
    friend struct FuseHidrawOps;

    explicit FuseHidraw(std::string mountPoint) : mountPoint_(std::move(mountPoint)) {}
    void serve();
    Monitor* byNode(const std::string& node);
    const Monitor* byNode(const std::string& node) const;
    Monitor* byInode(std::uint64_t inode);

    std::string mountPoint_;
    fuse_session* session_ = nullptr;
    int stopFd_ = -1;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<Monitor>> monitors_;
    std::function<void(const std::string&, std::uint16_t)> writeObserver_;
};

}  // namespace testing_support
