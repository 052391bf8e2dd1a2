// The real machine: Linux with GLib's main context as the run loop, syslog,
// property-list files for defaults, the D-Bus session bus for distributed
// notifications, sysfs for displays, backlights and light sensors, hidraw and
// udev for USB monitors, i2c-dev for the other monitors, threads for dispatch
// queues.
#pragma once

#include <memory>

#include "linux/ddc/LinuxAVServices.h"
#include "linux/displays/LinuxDisplays.h"
#include "linux/foundation/LinuxDefaults.h"
#include "linux/foundation/LinuxDistributedBus.h"
#include "linux/foundation/LinuxTasks.h"
#include "linux/hid/LinuxHID.h"
#include "linux/light/LinuxLightSensor.h"
#include "linux/session/LinuxSession.h"
#include "linux/texts/LinuxMachineTexts.h"
#include "machine/Machine.h"

namespace platform::linux_machine {

class LinuxMachine : public Machine {
  public:
    LinuxMachine();
    ~LinuxMachine() override;

    // Creates the Linux machine, installs it for this process and returns it.
    static LinuxMachine& installNew();

    double absoluteTime() override;
    void sleepMicroseconds(std::uint32_t usec) override;
    CFRunLoopRunResult runRunLoop(CFRunLoopRef rl, const CFRunLoopMode& mode, double seconds,
                                  bool returnAfterSourceHandled) override;
    void wakeUpRunLoop(CFRunLoopRef rl) override;
    void writeLog(const std::string& line) override;
    OperatingSystemVersion operatingSystemVersion() override;
    std::optional<std::string> userLibraryFolder() override;
    std::shared_ptr<DispatchQueue> createDispatchQueue(const std::string& label) override;
    std::shared_ptr<DispatchQueue> mainDispatchQueue() override;

    // Also receives every log line (tests read the log here).
    std::function<void(const std::string&)> logObserver;

  private:
    LinuxDefaults defaults_;
    LinuxDistributedBus bus_;
    LinuxDisplays displays_;
    LinuxHID hid_;
    LinuxLightSensor lightSensor_;
    LinuxTasks tasks_;
    LinuxSession session_;
    LinuxAVServices avServices_;
    LinuxMachineTexts texts_{session_};
};

}  // namespace platform::linux_machine
