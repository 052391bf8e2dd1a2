// AV services on the simulated machine: displays plugged in and out, each
// with a location, an EDID and a DDC/CI monitor behind its I2C channel
// (SimDdcMonitor.h). Arrivals and removals reach the listeners at once; the
// notification ports hand them over when the run loop runs.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "machine/AVServiceBackend.h"
#include "sim/SimDdcMonitor.h"

namespace platform::sim {

// A valid 128-byte EDID base block; `manufacturer` is three letters ("DEL"),
// `name` (when not empty) goes into a display product name descriptor.
std::vector<std::uint8_t> makeEdid(const std::string& manufacturer, std::uint16_t product,
                                   std::uint32_t serial, const std::string& name = {});

struct SimAVService {
    std::string location = "External";
    std::vector<std::uint8_t> edid;
    SimDdcMonitor monitor;
    // Statuses of the channel's calls (a failing bus), and how long each
    // transfer takes (a slow monitor), on the caller's clock.
    IOReturn writeStatus = kIOReturnSuccess;
    IOReturn readStatus = kIOReturnSuccess;
    IOReturn lockStatus = kIOReturnSuccess;
    double transferSeconds = 0.0;
    // Whether its output is lit, as the machine tells it.
    AVOutputState output = AVOutputState::On;

    // The service handle while plugged in; a new one at every plug-in.
    io_service_t handle = 0;
    bool present = false;
    // Every transfer on the bus, in order: 'W' or 'R', when, and whether the
    // bus lock was held.
    struct Transfer {
        char kind;
        double when;
        bool locked;
        std::vector<std::uint8_t> bytes;  // written, with the data address first
    };
    std::vector<Transfer> transfers;
    bool locked = false;
    int closes = 0;  // how often its channel let go of the bus
};

class SimAVServices : public AVServiceBackend {
  public:
    // A display that answers DDC/CI, not plugged in yet. Displays never go away.
    SimAVService& addDisplay(const std::string& manufacturer = "DEL",
                             std::uint16_t product = 0xA0F3, const std::string& name = "U2720Q");
    // A display, plugged in.
    SimAVService& plugInDisplay(const std::string& manufacturer = "DEL",
                                std::uint16_t product = 0xA0F3, const std::string& name = "U2720Q");
    void plugIn(SimAVService& service);
    void plugOut(SimAVService& service);

    std::deque<std::unique_ptr<SimAVService>> displays;

    // AVServiceBackend
    std::vector<io_service_t> services() override;
    std::optional<PlistValue> property(io_service_t service, const std::string& key) override;
    std::shared_ptr<AVServiceChannel> channel(io_service_t service) override;
    void addListener(Listener* listener) override;
    void removeListener(Listener* listener) override;

  private:
    SimAVService* byHandle(io_service_t service);
    std::vector<Listener*> listeners_;
    io_service_t nextHandle_ = 0x60000001;
};

}  // namespace platform::sim
