// Following who owns a name on a message bus: the one way our D-Bus clients
// learn that a service came, went or was replaced. Built on GLib's name
// watcher (g_bus_watch_name_on_connection), so each watch costs one match on
// NameOwnerChanged for the name and one GetNameOwner (with StartServiceByName
// before it when auto-starting); the answers come on the thread-default main
// context of the thread that called start().
//
// GLib reports the first answer (the name has an owner or not) and from then
// on each change, appearances and vanishes alternating, so a new owner taking
// over is a vanish and an appearance; a connection that closes is a vanish
// (GIO reference, g_bus_watch_name, unchanged from 2.74 to 2.84).
#pragma once

#include <functional>
#include <string>

typedef struct _GDBusConnection GDBusConnection;

namespace platform::linux_machine {

class ServiceWatch {
  public:
    // `owner` is the unique name (":1.42") now holding the name.
    using Appeared = std::function<void(const std::string& owner)>;
    using Vanished = std::function<void()>;
    enum class Start { No, IfActivatable };

    ServiceWatch() = default;
    ~ServiceWatch() { stop(); }
    ServiceWatch(const ServiceWatch&) = delete;
    ServiceWatch& operator=(const ServiceWatch&) = delete;

    // Follows `name` on `bus` (which must outlive the watch, or stop() first),
    // after any earlier watch of this object has been stopped. IfActivatable
    // asks the bus to start an activatable service first.
    void start(GDBusConnection* bus, const std::string& name, Appeared appeared, Vanished vanished,
               Start autoStart = Start::No);
    // Unwatches; the callbacks stay this object's, never handed to GLib to free.
    void stop();
    bool watching() const { return id_ != 0; }

  private:
    unsigned id_ = 0;
    Appeared appeared_;
    Vanished vanished_;
};

}  // namespace platform::linux_machine
