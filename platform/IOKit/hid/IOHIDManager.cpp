#include "IOKit/hid/IOHIDManager.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "base/HexText.h"
#include "machine/Machine.h"

// Receives the back-end's arrivals and removals on the main thread, queues
// them and hands them to the callbacks when its run-loop source is performed.
struct __IOHIDManager : platform::HIDBackend::Listener {
    struct Callback {
        IOHIDDeviceCallback function = nullptr;
        void* context = nullptr;
    };
    struct Event {
        bool attached;
        platform::HIDDevice* device;
    };

    std::optional<NSArray> matching;  // absent: every device matches
    Callback matchingCallback;
    Callback removalCallback;
    CFRunLoopSourceRef source;
    CFRunLoopRef runLoop = nullptr;
    bool open = false;
    std::deque<Event> pending;
    std::set<platform::HIDDevice*> reported;
    // The matching devices present now, in the order they came, whether or
    // not their callbacks have run yet.
    std::vector<platform::HIDDevice*> present;

    void deviceAttached(platform::HIDDevice* device) override {
        if (device && matches(*device) &&
            std::find(present.begin(), present.end(), device) == present.end())
            present.push_back(device);
        enqueue({true, device});
    }
    void deviceRemoved(platform::HIDDevice* device) override {
        present.erase(std::remove(present.begin(), present.end(), device), present.end());
        enqueue({false, device});
    }

    void enqueue(Event event) {
        pending.push_back(event);
        signal();
    }

    void signal() {
        if (!source || pending.empty())
            return;
        CFRunLoopSourceSignal(source);
        CFRunLoopWakeUp(runLoop);
    }

    bool matches(platform::HIDDevice& device) const {
        if (!matching)
            return true;
        for (const auto& entry : *matching) {
            const auto* dict = entry.dictionaryValue();
            if (dict && matchesDictionary(device, *dict))
                return true;
        }
        return false;
    }

    static bool matchesDictionary(platform::HIDDevice& device, const NSDictionary& dict) {
        for (const auto& [key, value] : dict) {
            std::optional<std::int64_t> wanted = value.integerValue();
            if (!wanted || value.kind() == PlistValue::Kind::Boolean)
                return false;
            const auto has = IOHIDDeviceGetProperty(&device, key);
            if (!has || has->integerValue() != wanted)
                return false;  // another value, or a property these devices do not have
        }
        return true;
    }

    // One event at a time, so a callback that runs the loop again sees the rest.
    void deliverPending() {
        while (!pending.empty()) {
            Event event = pending.front();
            pending.pop_front();
            if (event.attached) {
                if (!event.device || reported.count(event.device) || !matches(*event.device))
                    continue;
                reported.insert(event.device);
                if (matchingCallback.function)
                    matchingCallback.function(matchingCallback.context, kIOReturnSuccess, this,
                                              event.device);
            } else {
                if (!reported.erase(event.device))
                    continue;
                if (removalCallback.function)
                    removalCallback.function(removalCallback.context, kIOReturnSuccess, this,
                                             event.device);
            }
        }
    }
};

namespace {

using platform::hexText;

// Managers are never destroyed: the back-end keeps reporting to them.
std::vector<std::unique_ptr<__IOHIDManager>>& managers() {
    static std::vector<std::unique_ptr<__IOHIDManager>> all;
    return all;
}

void record(const std::string& call) {
    platform::Machine::current().recordCall(call);
}

}  // namespace

IOHIDManagerRef IOHIDManagerCreate(CFAllocatorRef, IOOptionBits options) {
    record("IOHIDManagerCreate(" + hexText(options) + ")");
    if (!platform::Machine::current().hid().canCreateManager())
        return nullptr;
    managers().push_back(std::make_unique<__IOHIDManager>());
    return managers().back().get();
}

void IOHIDManagerSetDeviceMatchingMultiple(IOHIDManagerRef manager, const NSArray& multiple) {
    record("IOHIDManagerSetDeviceMatchingMultiple(" + std::to_string(multiple.size()) + ")");
    if (manager)
        manager->matching = multiple;
}

void IOHIDManagerRegisterDeviceMatchingCallback(IOHIDManagerRef manager,
                                                IOHIDDeviceCallback callback, void* context) {
    record("IOHIDManagerRegisterDeviceMatchingCallback()");
    if (manager)
        manager->matchingCallback = {callback, context};
}

void IOHIDManagerRegisterDeviceRemovalCallback(IOHIDManagerRef manager,
                                               IOHIDDeviceCallback callback, void* context) {
    record("IOHIDManagerRegisterDeviceRemovalCallback()");
    if (manager)
        manager->removalCallback = {callback, context};
}

void IOHIDManagerScheduleWithRunLoop(IOHIDManagerRef manager, CFRunLoopRef runLoop,
                                     const CFRunLoopMode& runLoopMode) {
    record("IOHIDManagerScheduleWithRunLoop(" + runLoopMode + ")");
    if (!manager || !runLoop)
        return;
    if (!manager->source) {
        manager->source = CFRunLoopSourceCreate([manager] { manager->deliverPending(); });
        manager->runLoop = runLoop;
    }
    CFRunLoopAddSource(runLoop, manager->source, runLoopMode);
    manager->signal();
}

IOReturn IOHIDManagerOpen(IOHIDManagerRef manager, IOOptionBits options) {
    record("IOHIDManagerOpen(" + hexText(options) + ")");
    if (!manager)
        return kIOReturnBadArgument;
    if (manager->open)
        return kIOReturnSuccess;
    IOReturn status = platform::Machine::current().hid().open(manager);
    if (status == kIOReturnSuccess)
        manager->open = true;
    return status;
}

std::vector<IOHIDDeviceRef> IOHIDManagerCopyDevices(IOHIDManagerRef manager) {
    record("IOHIDManagerCopyDevices()");
    if (!manager)
        return {};
    return manager->present;
}
