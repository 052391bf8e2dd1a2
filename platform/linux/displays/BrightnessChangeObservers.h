// Who asked to hear of a display's brightness being changed by someone other
// than this process, and the delivery of such a change on the main run loop.
//
// Reports come from any thread and from every source that can tell a
// person's change from this process's own writes: the desktop's brightness
// service (DesktopBrightness), and the kernel's own word, a backlight's
// `change` uevent (LinuxDisplays).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "machine/BrightnessObserverTable.h"

namespace platform::linux_machine {

class BrightnessChangeObservers {
  public:
    // Reads the display's brightness now, on the main thread, for a report
    // that came without a value.
    using Reader = std::function<std::optional<double>(CGDirectDisplayID)>;

    explicit BrightnessChangeObservers(Reader read);
    ~BrightnessChangeObservers();
    BrightnessChangeObservers(const BrightnessChangeObservers&) = delete;
    BrightnessChangeObservers& operator=(const BrightnessChangeObservers&) = delete;

    // Main thread only.
    void add(CGDirectDisplayID display, CGDirectDisplayID observer,
             DisplayServicesBrightnessChangeCallback callback);
    bool remove(CGDirectDisplayID display, CGDirectDisplayID observer);
    // The displays someone asked about, each once; main thread only.
    std::vector<CGDirectDisplayID> observedDisplays() const;

    // From any thread: someone else changed `display`'s brightness, to
    // `value` when the source said so. Delivered on the main run loop.
    void report(CGDirectDisplayID display, std::optional<double> value);

  private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

}  // namespace platform::linux_machine
