// Whether GNOME itself can steer the built-in display by the ambient light,
// as its buses tell: gnome-settings-daemon's power plug-in, which alone acts
// on the "ambient-enabled" key, owns its name on the session bus, and
// iio-sensor-proxy says it has a light sensor (HasAmbientLight). Without
// either GNOME never acts on the key and GNOME Settings shows no switch for
// it, wherever its schema is installed:
// - gnome-settings-daemon 43.0 and 48.0, plugins/power/gsd-power-manager.c
//   (iio_proxy_changed): nothing is done unless the proxy's cached
//   HasAmbientLight is true; 50.0 (iio_proxy_should_claim_light) claims the
//   light only then, and the key is read only after that.
// - gnome-control-center, panels/power/cc-power-panel.c: the switch is shown
//   only while iio-sensor-proxy reports HasAmbientLight.
// Both are followed on a thread of its own; a caller gets the answer last
// heard and never waits for it unless it asks to (waitForFirstAnswer).
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace platform::linux_machine {

class GnomeAmbientLight {
  public:
    // `changed` runs on the thread whenever the answer may have changed.
    explicit GnomeAmbientLight(std::function<void()> changed);
    ~GnomeAmbientLight();
    GnomeAmbientLight(const GnomeAmbientLight&) = delete;
    GnomeAmbientLight& operator=(const GnomeAmbientLight&) = delete;

    // Absent until both buses have answered.
    std::optional<bool> canAdjust() const;
    bool waitForFirstAnswer(std::chrono::milliseconds limit) const;

  private:
    struct Core;
    std::shared_ptr<Core> core_;
    std::thread thread_;
};

}  // namespace platform::linux_machine
