// What a machine provides for the AV services (IOAVService.h): the services
// of the displays' video links present now, their properties, their coming
// and going, and the I2C channel each one opens onto the display.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/IOKitTypes.h"
#include "base/PropertyList.h"

namespace platform {

// Whether the output a display is on is lit: On, Off (switched off or
// asleep), or Unknown where the machine cannot tell or its word cannot be
// trusted.
enum class AVOutputState { On, Off, Unknown };

// One display's I2C channel. Its calls may come from any one thread at a
// time (a display's own queue); they block that thread for as long as the
// bus takes, and never the main thread's run loop.
class AVServiceChannel {
  public:
    virtual ~AVServiceChannel() = default;
    // The display's EDID, as the video link read it.
    virtual IOReturn copyEDID(std::vector<std::uint8_t>* edid) = 0;
    // One write transfer to the 7-bit address `chipAddress`: `dataAddress`
    // is the first byte on the bus, the buffer follows.
    virtual IOReturn writeI2C(std::uint32_t chipAddress, std::uint32_t dataAddress,
                              const std::uint8_t* buffer, std::uint32_t size) = 0;
    // One read transfer of `size` bytes from `chipAddress`.
    virtual IOReturn readI2C(std::uint32_t chipAddress, std::uint32_t offset, std::uint8_t* buffer,
                             std::uint32_t size) = 0;
    // Holds the bus against other programs for one exchange (a request and
    // its reply); waits a bounded time for one that holds it.
    virtual IOReturn lockBus() = 0;
    virtual void unlockBus() = 0;
    // Lets go of whatever it holds open until the next transfer.
    virtual void close() {}
    // Whether its output is lit now; cheap enough to ask before every exchange.
    virtual AVOutputState outputState() { return AVOutputState::Unknown; }
    // Where its messages go, for log lines ("/dev/i2c-11, AMDGPU DM aux hw
    // bus 3"); empty where there is nothing to say.
    virtual std::string describeBus() { return {}; }
};

class AVServiceBackend {
  public:
    class Listener {
      public:
        virtual ~Listener() = default;
        // On the main thread, after the services themselves changed.
        virtual void servicesArrived(const std::vector<io_service_t>& services) = 0;
        virtual void servicesRemoved(const std::vector<io_service_t>& services) = 0;
    };

    virtual ~AVServiceBackend() = default;
    // The services present now, in a stable order.
    virtual std::vector<io_service_t> services() = 0;
    // A service's registry property ("Location"); absent for an unknown
    // service or key.
    virtual std::optional<PlistValue> property(io_service_t service, const std::string& key) = 0;
    // The service's I2C channel; null when the service is unknown or gone.
    // A channel of a service that goes away fails every call from then on.
    virtual std::shared_ptr<AVServiceChannel> channel(io_service_t service) = 0;
    // Arrivals and removals from now on go to `listener` until it is removed.
    virtual void addListener(Listener* listener) = 0;
    virtual void removeListener(Listener* listener) = 0;
};

}  // namespace platform
