// Virtual Apple USB monitors behind hidraw-like nodes, served through FUSE so
// that the real HIDIOCGFEATURE / HIDIOCSFEATURE ioctls travel through the
// kernel. The file system is mounted over a folder (a virtual laptop's /dev)
// and holds one regular file per monitor ("hidraw3"). FUSE passes these
// ioctls to us because their data size is encoded in the ioctl number.
//
// Each monitor answers one feature report holding its brightness field (by
// default report 16 with a 2-byte little-endian brightness; a monitor may be
// given the field its report descriptor declares); other report IDs are
// refused as a real device stalls them (EPIPE). An
// unplugged monitor's node disappears and its open files answer ENODEV.
//
// Requests are served on a thread of the fixture's own, so the process that
// mounted the file system can use it (tests and the virtual-laptop program).
//
// Other kinds of device node can live beside the monitors (an I2C bus with a
// DDC/CI monitor, FuseI2cBus.h): each answers plain reads, writes and
// ioctls itself, and may take its time, as a slow device does, without
// holding up the other nodes.
#pragma once

#include <condition_variable>
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

    // Where a monitor keeps its brightness: the report, its payload length
    // (without the report ID), and the field's place and width in it.
    struct Field {
        std::uint8_t reportID = 16;
        std::size_t payloadBytes = 2;
        unsigned bitOffset = 0;
        unsigned bits = 16;
    };

    void addMonitor(const std::string& node, std::uint16_t brightness = 0x8000);
    void addMonitor(const std::string& node, const Field& field, std::uint32_t raw);
    // Unplugs: the node vanishes, open files fail with ENODEV.
    void unplug(const std::string& node);
    // After `writes` more brightness writes the monitor unplugs itself and
    // `unplugged` runs (on the file system's thread; it must not touch the mount).
    void unplugAfterWrites(const std::string& node, int writes, std::function<void()> unplugged);
    // Runs on every brightness write (on the file system's thread).
    void onWrite(std::function<void(const std::string& node, std::uint32_t value)> observer);

    std::uint16_t brightness(const std::string& node) const;
    // How many files the node has open now (opened and not released).
    int openFiles(const std::string& node) const;
    void setBrightness(const std::string& node, std::uint16_t value);
    // Every brightness written, in order.
    std::vector<std::uint16_t> writes(const std::string& node) const;
    // The field's raw values: now, and every one written.
    std::uint32_t rawValue(const std::string& node) const;
    std::vector<std::uint32_t> rawWrites(const std::string& node) const;
    // The payload of the last write, whole (without the report ID).
    std::vector<std::uint8_t> lastPayload(const std::string& node) const;
    int reads(const std::string& node) const;

    // A node of another kind. Its calls run on the file system's thread, one
    // at a time; `file` tells the open files apart.
    class Node {
      public:
        struct Reply {
            int result = 0;                  // bytes done, or -errno
            std::vector<std::uint8_t> data;  // what a read returns
            double delaySeconds = 0;         // the device's time, before the reply
        };
        virtual ~Node() = default;
        virtual Reply write(std::uint64_t file, const std::uint8_t* bytes, std::size_t size) = 0;
        // `offset`: where in the file the read starts.
        virtual Reply read(std::uint64_t file, std::size_t size, std::uint64_t offset) = 0;
        // An ioctl that carries no data: its argument as a number.
        virtual Reply ioctl(std::uint64_t file, unsigned command, unsigned long argument) = 0;
        virtual void release(std::uint64_t file) { (void)file; }
    };
    void addNode(const std::string& name, std::shared_ptr<Node> node);
    // The node vanishes; its open files fail with ENODEV.
    void removeNode(const std::string& name);

  private:
    struct Monitor {
        std::string node;
        std::uint64_t inode = 0;
        bool present = true;
        Field field;
        std::uint32_t brightness = 0;
        std::vector<std::uint32_t> writes;
        std::vector<std::uint8_t> lastPayload;
        int reads = 0;
        int openFiles = 0;  // opened and not yet released
        int unplugAfter = -1;
        std::function<void()> unplugged;
    };
    struct ExtraNode {
        std::string name;
        std::uint64_t inode = 0;
        bool present = true;
        std::shared_ptr<Node> node;
    };
    friend struct FuseHidrawOps;

    explicit FuseHidraw(std::string mountPoint) : mountPoint_(std::move(mountPoint)) {}
    void serve();
    Monitor* byNode(const std::string& node);
    const Monitor* byNode(const std::string& node) const;
    Monitor* byInode(std::uint64_t inode);
    ExtraNode* extraByInode(std::uint64_t inode);
    ExtraNode* extraByName(const std::string& name);
    // Runs `reply` after `delaySeconds` on the replying thread, or at once.
    void replyLater(double delaySeconds, std::function<void()> reply);
    void replyDelayed();

    std::string mountPoint_;
    fuse_session* session_ = nullptr;
    int stopFd_ = -1;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<Monitor>> monitors_;
    std::vector<ExtraNode> extraNodes_;
    std::uint64_t nextFile_ = 1;
    std::function<void(const std::string&, std::uint32_t)> writeObserver_;

    std::mutex delayedMutex_;
    std::condition_variable delayedWake_;
    std::vector<std::pair<double, std::function<void()>>> delayed_;
    bool stopping_ = false;
    std::thread replier_;
};

}  // namespace testing_support
