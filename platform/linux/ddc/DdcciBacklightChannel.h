// A monitor that the kernel's ddcci driver has claimed. The driver takes the
// monitor's DDC/CI address (I2C_SLAVE on 0x37 then answers EBUSY) and
// offers its brightness as a backlight, ddcci<N> for the monitor on bus
// i2c-<N>, below the driver's device ddcci<N>, below the I2C client
// <N>-0037 on the adapter (ddcci/ddcci.c: dev_set_name "ddcci%d" with the
// adapter's number, parent the client; ddcci-backlight/ddcci-backlight.c:
// devm_backlight_device_register with that device as parent, type raw,
// max_brightness the monitor's own maximum; ddcci-driver-linux 0.4.5, as
// mirrored in Toxblh/ddcci-driver-linux). Its brightness is the monitor's
// luminance (0x10), or its "backlight level: white" (0x6B) where the
// monitor has that, in the monitor's own steps.
//
// This channel speaks, on top of that backlight, the only DDC/CI the engine
// sends: Get and Set VCP Feature for 0x10. Another control is answered as
// unsupported; the bus lock is the driver's own.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "machine/AVServiceBackend.h"

namespace platform::linux_machine {

class OpenBacklight;

class DdcciBacklightChannel : public AVServiceChannel {
  public:
    // `backlightFolder` is the backlight's folder, under the sysroot.
    DdcciBacklightChannel(std::string backlightFolder, std::vector<std::uint8_t> edid,
                          std::string description);
    ~DdcciBacklightChannel() override;

    // The monitor went away: every call fails from now on.
    void markRemoved();

    IOReturn copyEDID(std::vector<std::uint8_t>* edid) override;
    IOReturn writeI2C(std::uint32_t chipAddress, std::uint32_t dataAddress,
                      const std::uint8_t* buffer, std::uint32_t size) override;
    IOReturn readI2C(std::uint32_t chipAddress, std::uint32_t offset, std::uint8_t* buffer,
                     std::uint32_t size) override;
    IOReturn lockBus() override { return kIOReturnSuccess; }
    void unlockBus() override {}
    void close() override;
    std::string describeBus() override { return description_; }

  private:
    IOReturn answerGet(std::uint8_t code);

    const std::string folder_;
    const std::vector<std::uint8_t> edid_;
    const std::string description_;
    std::mutex mutex_;
    std::unique_ptr<OpenBacklight> backlight_;  // opened at first use
    std::vector<std::uint8_t> reply_;
    bool removed_ = false;
};

// The ddcci driver's backlight for the monitor on the adapter in
// `adapterFolder` (i2c-<bus>), or empty when the driver has none there.
std::string ddcciBacklightOf(const std::string& adapterFolder, int bus);

}  // namespace platform::linux_machine
