// The session bus as the desktop brightness routes use it, on their own
// thread: calls that wait at most a moment, the description a service gives
// of an object (introspection), properties, and the last error's text.
#pragma once

#include <gio/gio.h>

#include <memory>
#include <optional>
#include <string>

#include "linux/bus/Variant.h"

namespace platform::linux_machine {

struct InterfaceInfoUnref {
    void operator()(GDBusInterfaceInfo* i) const { g_dbus_interface_info_unref(i); }
};
using InterfaceInfo = std::unique_ptr<GDBusInterfaceInfo, InterfaceInfoUnref>;

class DesktopBus {
  public:
    // Discovery waits this long for each answer, a write this long.
    static constexpr int kAskTimeoutMs = 1000;
    static constexpr int kWriteTimeoutMs = 500;

    explicit DesktopBus(GDBusConnection* connection) : connection_(connection) {}

    GDBusConnection* connection() const { return connection_; }
    // This connection's own name on the bus (":1.42"), as services see the caller.
    std::string uniqueName() const;

    // The reply, or null with the error kept (lastError). Takes `args` (floating).
    Variant call(const std::string& name, const std::string& path, const char* interface,
                 const char* method, GVariant* args, const char* replyType,
                 int timeoutMs = kAskTimeoutMs);
    // The unique name that owns `name` now, if any.
    std::optional<std::string> owner(const std::string& name);
    // `interface` as the object at `path` describes itself; null when the
    // object does not answer or does not offer it.
    InterfaceInfo describe(const std::string& name, const std::string& path, const char* interface);
    // One property's value, or all of them (a{sv}); null on failure.
    Variant property(const std::string& name, const std::string& path, const char* interface,
                     const char* property);
    Variant properties(const std::string& name, const std::string& path, const char* interface);

    const std::string& lastError() const { return lastError_; }
    void setError(std::string text) {
        lastError_ = std::move(text);
        lastErrorName_.clear();
    }
    // True when the last failed call was refused with this D-Bus error name.
    bool lastErrorNamed(const char* dbusErrorName) const { return lastErrorName_ == dbusErrorName; }

  private:
    GDBusConnection* connection_;
    std::string lastError_;
    std::string lastErrorName_;
};

// Whether an interface has a method taking exactly `inSignature`, a property
// of `signature`.
bool offersMethod(const GDBusInterfaceInfo* info, const char* method, const char* inSignature);
bool offersProperty(const GDBusInterfaceInfo* info, const char* property, const char* signature);

// A typed value out of an a{sv} dictionary.
std::optional<bool> lookupBool(GVariant* dict, const char* key);
std::optional<int> lookupInt(GVariant* dict, const char* key);

}  // namespace platform::linux_machine
