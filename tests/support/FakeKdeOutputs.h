// A Wayland compositor of our own that describes its displays as KWin does
// (kde_output_device_v2, kde_output_management_v2), on a socket of its own, on
// a thread of its own. Each display it binds sends its properties, then
// `done`; a configuration that switches automatic brightness is applied, the
// displays' new state sent with `done`, then `applied`, or refused with
// failure_reason and `failed` (KDE/plasma-wayland-protocols v1.20.0 and
// v1.21.0, kde-output-device-v2.xml and kde-output-management-v2.xml).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

class FakeKdeOutputs {
  public:
    struct Display {
        std::string name;  // "eDP-1", as KWin names its outputs
        bool hasAutomaticBrightness = false;
        bool automatic = false;
    };
    struct Options {
        // 20 is Plasma 6.6 (globals); 21 announces them through the registry;
        // 18 is Plasma 6.5, which has no automatic brightness.
        uint32_t deviceVersion = 20;
        bool management = true;
        // 19 since v1.20.0 (set_auto_brightness); 17 in v1.19.0. Its
        // configurations are made at this version, as KWin makes them
        // (src/wayland/outputmanagement_v2.cpp, create_configuration, commit
        // 01f3f185d852), and a request of a later version on one is a
        // protocol error (wayland 1.21.0, src/wayland-server.c: "invalid
        // method (since …)").
        uint32_t managementVersion = 19;
    };

    FakeKdeOutputs(std::vector<Display> displays, Options options);
    explicit FakeKdeOutputs(std::vector<Display> displays)
        : FakeKdeOutputs(std::move(displays), Options{}) {}
    ~FakeKdeOutputs();

    // For WAYLAND_DISPLAY (an absolute path).
    const std::string& socketPath() const;
    // As the person would in System Settings: every client is told.
    void setAutomatic(const std::string& display, bool on);
    // Refuses every configuration from now on, with `reason`.
    void refuseConfigurations(const std::string& reason);
    // A display comes (plugged in): a new global, or the registry's `output`.
    void plugIn(const Display& display);
    // The display goes (unplugged): its global or its `removed` event.
    void remove(const std::string& display);
    // What configurations asked for, as "eDP-1 auto_brightness 0".
    std::vector<std::string> requests() const;
    bool automatic(const std::string& display) const;

    struct State;

  private:
    // Runs `change` on the compositor's thread and waits for it.
    void onCompositorThread(std::function<void(State&)> change) const;
    std::unique_ptr<State> state_;
};

}  // namespace testing_support
