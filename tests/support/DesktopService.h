// A desktop's brightness service for tests: one of our own fakes in
// tests/support/desktop-fakes (python3-dbusmock templates written from the
// desktops' sources, each naming the files and tags it follows), served by its own process on the
// test's private session bus (PrivateBus, which must exist first). Stopping and starting it again
// is the service restarting: a new owner of its name.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GVariant GVariant;

namespace testing_support {

class DesktopService {
  public:
    enum class Kind {
        PlasmaScreenBrightness,
        PlasmaPowerManagement,
        MutterDisplayConfig,
        GnomeSettingsDaemon,
        MutterIdleMonitor,
        // One of the services above answering in a wrong type or shape
        // (misbehaving_service.py): parameters "name", "path" and "shape".
        Misbehaving,
    };
    // One call the service received: its numbers (integers and reals) and
    // its strings, in order.
    struct Call {
        std::vector<double> numbers;
        std::vector<std::string> strings;
    };

    // Starts the fake and waits until it owns its name. `parameters` go to
    // the template ("backlight", "max", ...); numbers and true/false as such.
    DesktopService(Kind kind, std::map<std::string, std::string> parameters);
    ~DesktopService();
    DesktopService(const DesktopService&) = delete;
    DesktopService& operator=(const DesktopService&) = delete;

    // False, saying why, where python3-dbusmock cannot run.
    static bool available(std::string* why);

    const std::string& busName() const { return name_; }
    // The service goes away (its process ends) and comes back as a new owner.
    void stop();
    void start();
    // The service hangs (it answers nothing) until thawed.
    void freeze(bool frozen);

    // The calls of `method` received by the object at `path` (the service's
    // main object when empty).
    std::vector<Call> calls(const std::string& method, const std::string& path = "") const;
    // Calls `method` on the service (takes `args`, floating); false on failure.
    bool call(const std::string& interface, const std::string& method, GVariant* args,
              const std::string& path = "") const;

  private:
    Kind kind_;
    std::map<std::string, std::string> parameters_;
    std::string name_;
    std::string path_;
    GDBusConnection* bus_ = nullptr;
    std::unique_ptr<ChildProcess> process_;
};

}  // namespace testing_support
