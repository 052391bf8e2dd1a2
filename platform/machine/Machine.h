// The machine the process runs on: everything that touches hardware or the
// user's session goes through the one Machine installed by the process's entry
// point (the host, the agent, each test).
//
// Two machines exist: platform/sim (a simulated machine with virtual time and
// journals, for tests) and platform/linux (the real one, whose file system root
// may be moved by the variable PLATFORM_SYSROOT).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/PropertyList.h"
#include "base/RunLoopBookkeeping.h"

namespace platform {

class DisplayBackend;      // CoreGraphics, DisplayServices, CoreDisplay, IODisplay
class HIDBackend;          // HID devices for the HID manager
class LightSensorBackend;  // the ambient light sensor service client and AppleLMUController
class DefaultsStorage;     // persistent defaults domains
class DistributedNotificationBus;
class TaskLauncher;
class SessionServices;   // session bus name, wake from sleep, termination requests
class AVServiceBackend;  // the displays' I2C channels (IOAVService)
class MachineTexts;      // what the machine calls its own things, for a person
class DispatchQueue;     // dispatch queues

struct OperatingSystemVersion {
    long majorVersion = 0;
    long minorVersion = 0;
    long patchVersion = 0;
};

class Machine {
  public:
    virtual ~Machine() = default;

    // Installs the process's machine. Installing again replaces the previous one.
    static void install(std::unique_ptr<Machine> machine);
    static bool isInstalled();
    // The installed machine; aborts with a clear message when none is installed.
    static Machine& current();

    // Time: CFAbsoluteTimeGetCurrent and usleep.
    virtual double absoluteTime() = 0;
    virtual void sleepMicroseconds(std::uint32_t usec) = 0;

    // Runs `rl` in `mode` until `seconds` have passed, it is stopped, or (when
    // asked) a source was handled. The loop's bookkeeping decides what fires.
    virtual CFRunLoopRunResult runRunLoop(CFRunLoopRef rl, const CFRunLoopMode& mode,
                                          double seconds, bool returnAfterSourceHandled) = 0;
    // Something was added to or signalled on `rl`: a waiting loop looks again.
    virtual void wakeUpRunLoop(CFRunLoopRef rl) = 0;

    // Set by a process whose main thread is a window's: the platform never
    // waits on that thread for hardware or another process (a claim, a bus
    // question, a device read), and answers there from what its back-ends
    // already hold. A process without a window may wait, bounded, where a
    // first real answer is worth it (the light sensor's set-up).
    void setMainThreadNeverWaits(bool never) { mainThreadNeverWaits_ = never; }
    bool mainThreadNeverWaits() const { return mainThreadNeverWaits_; }

    // One line of the system log (NSLog).
    virtual void writeLog(const std::string& line) = 0;
    // A platform call, for the simulated machine's journal ("name(args)").
    virtual void recordCall(std::string_view) {}

    virtual OperatingSystemVersion operatingSystemVersion() = 0;
    // Whether the root object's initialiser yields an object (NSObject.h);
    // always on a real machine.
    virtual bool rootObjectInitialises() { return true; }
    // The user's Library folder (absolute, no trailing slash), or absent.
    virtual std::optional<std::string> userLibraryFolder() = 0;

    DefaultsStorage& defaults() { return *parts_.defaults; }
    DistributedNotificationBus& distributedNotifications() {
        return *parts_.distributedNotifications;
    }
    DisplayBackend& displays() { return *parts_.displays; }
    HIDBackend& hid() { return *parts_.hid; }
    LightSensorBackend& lightSensor() { return *parts_.lightSensor; }
    TaskLauncher& tasks() { return *parts_.tasks; }
    SessionServices& session() { return *parts_.session; }
    AVServiceBackend& avServices() { return *parts_.avServices; }
    MachineTexts& texts() { return *parts_.texts; }

    // Dispatch queues (dispatch/DispatchQueue.h): a new serial queue, and the
    // main thread's.
    virtual std::shared_ptr<DispatchQueue> createDispatchQueue(const std::string& label) = 0;
    virtual std::shared_ptr<DispatchQueue> mainDispatchQueue() = 0;

  protected:
    // What the machine is made of: each machine's own back-ends, which live
    // as long as it does.
    struct Parts {
        DefaultsStorage* defaults = nullptr;
        DistributedNotificationBus* distributedNotifications = nullptr;
        DisplayBackend* displays = nullptr;
        HIDBackend* hid = nullptr;
        LightSensorBackend* lightSensor = nullptr;
        TaskLauncher* tasks = nullptr;
        SessionServices* session = nullptr;
        AVServiceBackend* avServices = nullptr;
        MachineTexts* texts = nullptr;
    };
    // Called by each machine's constructor once its parts are made, and again
    // when one of them is replaced.
    void holdParts(const Parts& parts) { parts_ = parts; }
    const Parts& parts() const { return parts_; }

  private:
    Parts parts_;
    bool mainThreadNeverWaits_ = false;
};

// Persistent defaults domains, one dictionary per domain name.
class DefaultsStorage {
  public:
    virtual ~DefaultsStorage() = default;
    // The whole domain, read afresh; absent when it does not exist (or cannot be read).
    virtual std::optional<PlistDictionary> read(const std::string& domain) = 0;
    // Replaces the whole domain. False when it could not be stored.
    virtual bool write(const std::string& domain, const PlistDictionary& content) = 0;
    // Makes earlier writes durable. False on failure.
    virtual bool flush() = 0;

    // Held while it lives: other processes' updates of the same domain wait.
    class UpdateLock {
      public:
        virtual ~UpdateLock() = default;
        // False when the wait ran out and the update goes ahead unguarded.
        virtual bool held() const = 0;
    };
    // Takes the domain's update lock for one read-modify-write, waiting a
    // bounded time for another process that holds it. When the wait runs out
    // the storage logs it and hands back a lock that holds nothing: a late
    // write is better than a lost one. Readers never take it.
    virtual std::unique_ptr<UpdateLock> lockForUpdate(const std::string& domain) = 0;
};

// Notifications between processes of the same user, by name, with an optional
// string object.
class DistributedNotificationBus {
  public:
    using Handler = std::function<void(const std::string& name, const std::string* object)>;
    virtual ~DistributedNotificationBus() = default;
    virtual void post(const std::string& name, const std::string* object) = 0;
    // Delivers matching notifications of any process (this one included) on the
    // current thread's run loop. Returns a token for removal.
    virtual int observe(const std::string& name, Handler handler) = 0;
    virtual void removeObserver(int token) = 0;
};

// Starting other programs, never through a shell; children are reaped.
class TaskLauncher {
  public:
    virtual ~TaskLauncher() = default;
    // Starts `path` with `arguments` and does not wait. False when it could not start.
    virtual bool launch(const std::string& path, const std::vector<std::string>& arguments) = 0;
    // Where a platform program named by its original path ("/bin/launchctl")
    // lives on this machine.
    virtual std::string resolveProgram(const std::string& originalPath) = 0;
};

}  // namespace platform
