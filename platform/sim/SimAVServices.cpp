#include "sim/SimAVServices.h"

#include <algorithm>

#include "IOKit/IOAVService.h"
#include "machine/Machine.h"

namespace platform::sim {

std::vector<std::uint8_t> makeEdid(const std::string& manufacturer, std::uint16_t product,
                                   std::uint32_t serial, const std::string& name) {
    std::vector<std::uint8_t> e(128, 0);
    const std::uint8_t header[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    std::copy(header, header + 8, e.begin());
    // Three letters of five bits each, 'A' = 1, big-endian in bytes 8-9.
    auto letter = [&](int i) {
        return static_cast<std::uint32_t>(manufacturer.at(i) - 'A' + 1) & 0x1F;
    };
    const std::uint32_t m = letter(0) << 10 | letter(1) << 5 | letter(2);
    e[8] = static_cast<std::uint8_t>(m >> 8);
    e[9] = static_cast<std::uint8_t>(m);
    e[10] = static_cast<std::uint8_t>(product);
    e[11] = static_cast<std::uint8_t>(product >> 8);
    for (int i = 0; i < 4; ++i)
        e[12 + i] = static_cast<std::uint8_t>(serial >> (8 * i));
    e[16] = 1;   // week
    e[17] = 30;  // year - 1990
    e[18] = 1;   // EDID 1.4
    e[19] = 4;
    e[20] = 0xA5;  // digital input
    if (!name.empty()) {
        // The first display descriptor (bytes 72-89): tag 0xFC, the name in
        // up to 13 bytes, ended by 0x0A and padded with spaces.
        std::uint8_t* d = e.data() + 72;
        d[3] = 0xFC;
        std::fill(d + 5, d + 18, ' ');
        const std::size_t n = std::min<std::size_t>(name.size(), 13);
        std::copy_n(name.begin(), n, d + 5);
        if (n < 13)
            d[5 + n] = 0x0A;
    }
    std::uint8_t sum = 0;
    for (int i = 0; i < 127; ++i)
        sum = static_cast<std::uint8_t>(sum + e[i]);
    e[127] = static_cast<std::uint8_t>(0x100 - sum);
    return e;
}

namespace {

class SimChannel : public AVServiceChannel {
  public:
    SimChannel(SimAVService& display, io_service_t handle) : display_(display), handle_(handle) {}

    IOReturn copyEDID(std::vector<std::uint8_t>* edid) override {
        if (!here())
            return kIOReturnNoDevice;
        *edid = display_.edid;
        return kIOReturnSuccess;
    }

    IOReturn writeI2C(std::uint32_t chipAddress, std::uint32_t dataAddress,
                      const std::uint8_t* buffer, std::uint32_t size) override {
        if (!here())
            return kIOReturnNoDevice;
        std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(dataAddress)};
        bytes.insert(bytes.end(), buffer, buffer + size);
        transfer('W', bytes);
        if (display_.writeStatus != kIOReturnSuccess)
            return display_.writeStatus;
        if (chipAddress != 0x37 ||
            !display_.monitor.write(bytes.data(), bytes.size(), Machine::current().absoluteTime()))
            return kIOReturnNotResponding;  // nobody acknowledged
        return kIOReturnSuccess;
    }

    IOReturn readI2C(std::uint32_t chipAddress, std::uint32_t, std::uint8_t* buffer,
                     std::uint32_t size) override {
        if (!here())
            return kIOReturnNoDevice;
        transfer('R', {});
        if (display_.readStatus != kIOReturnSuccess)
            return display_.readStatus;
        if (chipAddress != 0x37 ||
            !display_.monitor.read(buffer, size, Machine::current().absoluteTime()))
            return kIOReturnNotResponding;
        return kIOReturnSuccess;
    }

    IOReturn lockBus() override {
        if (!here())
            return kIOReturnNoDevice;
        if (display_.lockStatus != kIOReturnSuccess)
            return display_.lockStatus;
        display_.locked = true;
        return kIOReturnSuccess;
    }

    void unlockBus() override { display_.locked = false; }
    void close() override { ++display_.closes; }
    AVOutputState outputState() override { return display_.output; }

  private:
    bool here() const { return display_.present && display_.handle == handle_; }

    void transfer(char kind, std::vector<std::uint8_t> bytes) {
        auto& machine = Machine::current();
        display_.transfers.push_back(
            {kind, machine.absoluteTime(), display_.locked, std::move(bytes)});
        if (display_.transferSeconds > 0)
            machine.sleepMicroseconds(static_cast<std::uint32_t>(display_.transferSeconds * 1e6));
    }

    SimAVService& display_;
    io_service_t handle_;
};

}  // namespace

SimAVService& SimAVServices::addDisplay(const std::string& manufacturer, std::uint16_t product,
                                        const std::string& name) {
    displays.push_back(std::make_unique<SimAVService>());
    auto& display = *displays.back();
    display.edid =
        makeEdid(manufacturer, product, static_cast<std::uint32_t>(displays.size()), name);
    return display;
}

SimAVService& SimAVServices::plugInDisplay(const std::string& manufacturer, std::uint16_t product,
                                           const std::string& name) {
    auto& display = addDisplay(manufacturer, product, name);
    plugIn(display);
    return display;
}

void SimAVServices::plugIn(SimAVService& display) {
    if (display.present)
        return;
    display.present = true;
    display.handle = nextHandle_++;
    auto listeners = listeners_;
    for (auto* l : listeners)
        l->servicesArrived({display.handle});
}

void SimAVServices::plugOut(SimAVService& display) {
    if (!display.present)
        return;
    display.present = false;
    auto listeners = listeners_;
    for (auto* l : listeners)
        l->servicesRemoved({display.handle});
}

SimAVService* SimAVServices::byHandle(io_service_t service) {
    for (auto& d : displays) {
        if (d->present && d->handle == service)
            return d.get();
    }
    return nullptr;
}

std::vector<io_service_t> SimAVServices::services() {
    std::vector<io_service_t> present;
    for (auto& d : displays) {
        if (d->present)
            present.push_back(d->handle);
    }
    return present;
}

std::optional<PlistValue> SimAVServices::property(io_service_t service, const std::string& key) {
    auto* display = byHandle(service);
    if (!display || key != kIOAVServiceLocationKey)
        return std::nullopt;
    return PlistValue::string(display->location);
}

std::shared_ptr<AVServiceChannel> SimAVServices::channel(io_service_t service) {
    auto* display = byHandle(service);
    if (!display)
        return nullptr;
    return std::make_shared<SimChannel>(*display, service);
}

void SimAVServices::addListener(Listener* listener) {
    listeners_.push_back(listener);
}

void SimAVServices::removeListener(Listener* listener) {
    std::erase(listeners_, listener);
}

}  // namespace platform::sim
