// Following a service's PropertiesChanged announcements, each read by
// readPropertyChanges (PropertyChanges.h), with one match on the bus.
#pragma once

#include <functional>
#include <string>

typedef struct _GDBusConnection GDBusConnection;

namespace platform::linux_machine {

class PropertyChanges;

class PropertyChangesWatch {
  public:
    // `sender` as the signal came (a unique name), `path` of the object.
    using Handler =
        std::function<void(const char* sender, const char* path, const PropertyChanges& changes)>;

    PropertyChangesWatch() = default;
    ~PropertyChangesWatch() { stop(); }
    PropertyChangesWatch(const PropertyChangesWatch&) = delete;
    PropertyChangesWatch& operator=(const PropertyChangesWatch&) = delete;

    // Follows the announcements `sender` makes on `bus` of the object at
    // `path` (null: of any object) for `interface` (null: any; else also the
    // match's arg0, so the bus sends no others), on the calling thread's
    // thread-default main context. `bus` must outlive the watch or stop() come first.
    void start(GDBusConnection* bus, const char* sender, const char* path, const char* interface,
               Handler handler);
    // Unsubscribes; the handler stays this object's, never handed to GLib to free.
    void stop();
    bool watching() const { return subscription_ != 0; }

  private:
    GDBusConnection* bus_ = nullptr;
    unsigned subscription_ = 0;
    std::string interface_;
    bool anyInterface_ = true;
    Handler handler_;
};

}  // namespace platform::linux_machine
