// Facts from KDE/plasma-wayland-protocols (src/protocols/kde-output-device-v2.xml
// and kde-output-management-v2.xml):
// - v1.20.0 (Plasma 6.6): every display is a global kde_output_device_v2
//   (version 20); capability auto_brightness = 0x4000 (since 19), event
//   auto_brightness(uint enabled) (since 20); properties are applied at
//   `done`. kde_output_configuration_v2.set_auto_brightness(device, uint)
//   (since 19), then apply, answered by applied or by failure_reason (since
//   12) and failed. A configuration has the version its management was bound
//   at (create_configuration's new_id), so a compositor that offers
//   kde_output_management_v2 below 19 (v1.19.0 declares 17) takes no such
//   request: sent anyway, it is a protocol error that ends the connection.
// - v1.21.0: the displays are announced by kde_output_device_registry_v2
//   (bound at 21 or later, else a protocol error); a device bound so gets
//   `removed` and must be released.
// The display's name is the kernel connector's without its card ("eDP-1"),
// as KWin names its outputs.
#include "linux/desktop/KdeOutputDevices.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include <wayland-client.h>

#include "kde-output-devices-client-protocol.h"
#include "linux/devices/DrmConnectors.h"

namespace platform::linux_machine {
namespace {

constexpr uint32_t kAutoBrightnessCapability = KDE_OUTPUT_DEVICE_V2_CAPABILITY_AUTO_BRIGHTNESS;
constexpr uint32_t kDeviceGlobalVersion = 20;  // the last one announced as globals
constexpr uint32_t kDeviceRegistryVersion = 21;
constexpr uint32_t kManagementVersion = 19;  // set_auto_brightness

bool isBuiltinOutputName(const std::string& name) {
    const auto dash = name.find_last_of('-');
    return dash != std::string::npos && isBuiltinConnectorType(name.substr(0, dash));
}

struct Output {
    kde_output_device_v2* device = nullptr;
    uint32_t global = 0;  // its global's name; 0 when the registry announced it
    std::vector<wl_proxy*> modes;
    // As of the last `done`, and as sent since.
    std::string name, pendingName;
    uint32_t capabilities = 0, pendingCapabilities = 0;
    std::optional<bool> automatic, pendingAutomatic;
    bool described = false;

    ~Output() {
        for (wl_proxy* mode : modes)
            wl_proxy_destroy(mode);
        if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(device)) >=
            KDE_OUTPUT_DEVICE_V2_RELEASE_SINCE_VERSION)
            kde_output_device_v2_release(device);
        else
            kde_output_device_v2_destroy(device);
    }
};

}  // namespace

struct KdeOutputDevices::Request {
    bool done = false;
    bool ok = false;
    std::string why;
};

struct KdeOutputDevices::Connection {
    explicit Connection(KdeOutputDevices& owner) : owner(owner) {}
    ~Connection();
    // Connects and reads the first description; false, with `why`, when
    // there is nothing to read it from.
    bool open(std::string* why);
    // Follows the compositor until the connection is lost (with `why`) or the
    // owner ends.
    void serve(std::string* why);

    // The built-in display as described, if there is one.
    const Output* builtin() const;
    OutputAutomaticBrightness state() const;
    // Why the built-in display's automatic brightness cannot be switched off
    // through this connection; empty when it can.
    std::string whyNoSwitch() const;
    void publish() {
        if (serving)
            owner.publish(state(), whyNoSwitch().empty(), true);
    }
    void startSwitchOff(std::shared_ptr<Request> request);
    void finishSwitch(bool ok, const std::string& why);
    void addDevice(kde_output_device_v2* device, uint32_t global);
    void bindDevice(uint32_t name, uint32_t version);
    std::string lostBecause() const;

    static void global(void* data, wl_registry*, uint32_t name, const char* interface,
                       uint32_t version);
    static void globalRemove(void* data, wl_registry*, uint32_t name);
    static int deviceEvent(const void*, void* target, uint32_t, const wl_message* message,
                           wl_argument* args);
    static int registryEvent(const void* connection, void*, uint32_t, const wl_message* message,
                             wl_argument* args);
    static int configurationEvent(const void* connection, void*, uint32_t,
                                  const wl_message* message, wl_argument* args);

    KdeOutputDevices& owner;
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    kde_output_device_registry_v2* deviceRegistry = nullptr;
    kde_output_management_v2* management = nullptr;
    std::vector<std::pair<uint32_t, uint32_t>> deviceGlobals;  // name, version
    std::vector<std::unique_ptr<Output>> outputs;
    kde_output_configuration_v2* configuration = nullptr;
    std::shared_ptr<Request> switching;
    std::string refusal;
    bool serving = false;       // the first description is read
    bool notKWin = false;       // another compositor: it will not start describing
    bool bindsDevices = false;  // the displays are globals, bound as they come
};

KdeOutputDevices::Connection::~Connection() {
    if (switching)
        finishSwitch(false, "the connection to the compositor ended");
    outputs.clear();
    if (deviceRegistry)
        kde_output_device_registry_v2_destroy(deviceRegistry);
    if (management)
        kde_output_management_v2_destroy(management);
    if (registry)
        wl_registry_destroy(registry);
    if (display)
        wl_display_disconnect(display);
}

void KdeOutputDevices::Connection::global(void* data, wl_registry*, uint32_t name,
                                          const char* interface, uint32_t version) {
    auto& self = *static_cast<Connection*>(data);
    const std::string kind = interface;
    if (kind == kde_output_device_v2_interface.name) {
        self.deviceGlobals.emplace_back(name, version);
        if (self.bindsDevices)  // plugged in since
            self.bindDevice(name, version);
    } else if (kind == kde_output_device_registry_v2_interface.name &&
               version >= kDeviceRegistryVersion && !self.deviceRegistry) {
        self.deviceRegistry = static_cast<kde_output_device_registry_v2*>(wl_registry_bind(
            self.registry, name, &kde_output_device_registry_v2_interface, kDeviceRegistryVersion));
        wl_proxy_add_dispatcher(reinterpret_cast<wl_proxy*>(self.deviceRegistry), registryEvent,
                                &self, nullptr);
    } else if (kind == kde_output_management_v2_interface.name && !self.management) {
        self.management = static_cast<kde_output_management_v2*>(
            wl_registry_bind(self.registry, name, &kde_output_management_v2_interface,
                             std::min(version, kManagementVersion)));
    }
}

void KdeOutputDevices::Connection::globalRemove(void* data, wl_registry*, uint32_t name) {
    auto& self = *static_cast<Connection*>(data);
    std::erase_if(self.outputs, [name](const auto& output) { return output->global == name; });
    self.publish();
}

void KdeOutputDevices::Connection::addDevice(kde_output_device_v2* device, uint32_t global) {
    auto output = std::make_unique<Output>();
    output->device = device;
    output->global = global;
    wl_proxy_add_dispatcher(reinterpret_cast<wl_proxy*>(device), deviceEvent, this, output.get());
    outputs.push_back(std::move(output));
}

void KdeOutputDevices::Connection::bindDevice(uint32_t name, uint32_t version) {
    addDevice(static_cast<kde_output_device_v2*>(
                  wl_registry_bind(registry, name, &kde_output_device_v2_interface,
                                   std::min(version, kDeviceGlobalVersion))),
              name);
}

int KdeOutputDevices::Connection::registryEvent(const void* connection, void*, uint32_t,
                                                const wl_message* message, wl_argument* args) {
    auto& self = *const_cast<Connection*>(static_cast<const Connection*>(connection));
    if (std::strcmp(message->name, "output") == 0)
        self.addDevice(reinterpret_cast<kde_output_device_v2*>(args[0].o), 0);
    return 0;
}

int KdeOutputDevices::Connection::deviceEvent(const void* connection, void* target, uint32_t,
                                              const wl_message* message, wl_argument* args) {
    auto& self = *const_cast<Connection*>(static_cast<const Connection*>(connection));
    auto* proxy = static_cast<wl_proxy*>(target);
    auto* output = static_cast<Output*>(wl_proxy_get_user_data(proxy));
    const std::string event = message->name;
    if (event == "name") {
        output->pendingName = args[0].s ? args[0].s : "";
    } else if (event == "capabilities") {
        output->pendingCapabilities = args[0].u;
    } else if (event == "auto_brightness") {
        output->pendingAutomatic = args[0].u != 0;
    } else if (event == "mode") {
        // Modes are not read; they go with their display.
        if (args[0].o)
            output->modes.push_back(reinterpret_cast<wl_proxy*>(args[0].o));
    } else if (event == "done") {
        output->name = output->pendingName;
        output->capabilities = output->pendingCapabilities;
        output->automatic = output->pendingAutomatic;
        output->described = true;
        self.publish();
    } else if (event == "removed") {
        std::erase_if(self.outputs, [output](const auto& o) { return o.get() == output; });
        self.publish();
    }
    return 0;
}

int KdeOutputDevices::Connection::configurationEvent(const void* connection, void*, uint32_t,
                                                     const wl_message* message, wl_argument* args) {
    auto& self = *const_cast<Connection*>(static_cast<const Connection*>(connection));
    const std::string event = message->name;
    if (event == "failure_reason")
        self.refusal = args[0].s ? args[0].s : "";
    else if (event == "applied")
        self.finishSwitch(true, "");
    else if (event == "failed")
        self.finishSwitch(
            false, "the compositor refused" + (self.refusal.empty() ? "" : ": " + self.refusal));
    return 0;
}

const Output* KdeOutputDevices::Connection::builtin() const {
    for (const auto& output : outputs) {
        if (output->described && isBuiltinOutputName(output->name))
            return output.get();
    }
    return nullptr;
}

OutputAutomaticBrightness KdeOutputDevices::Connection::state() const {
    const Output* panel = builtin();
    if (!panel || !(panel->capabilities & kAutoBrightnessCapability))
        return OutputAutomaticBrightness::NoSuchSetting;
    if (!panel->automatic)
        return OutputAutomaticBrightness::NotKnown;  // said since version 20 only
    return *panel->automatic ? OutputAutomaticBrightness::On : OutputAutomaticBrightness::Off;
}

std::string KdeOutputDevices::Connection::whyNoSwitch() const {
    if (!management)
        return "the compositor offers no configuration of its displays";
    const auto version = wl_proxy_get_version(reinterpret_cast<wl_proxy*>(management));
    if (version < KDE_OUTPUT_CONFIGURATION_V2_SET_AUTO_BRIGHTNESS_SINCE_VERSION)
        return "the compositor's configuration of its displays (version " +
               std::to_string(version) + ") cannot switch automatic brightness";
    const Output* panel = builtin();
    if (!panel || !(panel->capabilities & kAutoBrightnessCapability))
        return "the built-in display has no automatic brightness";
    return "";
}

void KdeOutputDevices::Connection::startSwitchOff(std::shared_ptr<Request> request) {
    if (switching)
        finishSwitch(false, "a newer request came");
    switching = std::move(request);
    if (const auto why = whyNoSwitch(); !why.empty())
        return finishSwitch(false, why);
    refusal.clear();
    configuration = kde_output_management_v2_create_configuration(management);
    wl_proxy_add_dispatcher(reinterpret_cast<wl_proxy*>(configuration), configurationEvent, this,
                            nullptr);
    kde_output_configuration_v2_set_auto_brightness(configuration, builtin()->device, 0);
    kde_output_configuration_v2_apply(configuration);
}

void KdeOutputDevices::Connection::finishSwitch(bool ok, const std::string& why) {
    if (configuration) {
        kde_output_configuration_v2_destroy(configuration);
        configuration = nullptr;
    }
    if (!switching)
        return;
    {
        std::lock_guard lock(owner.mutex_);
        switching->done = true;
        switching->ok = ok;
        switching->why = why;
    }
    owner.changed_.notify_all();
    switching.reset();
}

std::string KdeOutputDevices::Connection::lostBecause() const {
    const int error = wl_display_get_error(display);
    if (error == EPROTO) {
        const wl_interface* interface = nullptr;
        uint32_t id = 0;
        const uint32_t code = wl_display_get_protocol_error(display, &interface, &id);
        return std::string("protocol error ") + std::to_string(code) + " on " +
               (interface ? interface->name : "an unknown object");
    }
    return error ? std::strerror(error) : "the compositor closed the connection";
}

bool KdeOutputDevices::Connection::open(std::string* why) {
    // libwayland would say this on standard error at every attempt.
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if ((!name || name[0] != '/') && !std::getenv("XDG_RUNTIME_DIR")) {
        *why = "no Wayland display to connect to (XDG_RUNTIME_DIR is not set)";
        return false;
    }
    display = wl_display_connect(nullptr);
    if (!display) {
        *why = std::string("no Wayland display to connect to (") + std::strerror(errno) + ")";
        return false;
    }
    static const wl_registry_listener listener{global, globalRemove};
    registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, this);
    if (wl_display_roundtrip(display) < 0) {
        *why = lostBecause();
        return false;
    }
    // A compositor with the registry announces each display there.
    if (!deviceRegistry) {
        bindsDevices = true;
        for (const auto& [name, version] : deviceGlobals)
            bindDevice(name, version);
    }
    if (wl_display_roundtrip(display) < 0) {
        *why = lostBecause();
        return false;
    }
    if (!deviceRegistry && deviceGlobals.empty()) {
        *why = "the compositor does not describe its displays (no kde_output_device_v2)";
        notKWin = true;
        return false;
    }
    return true;
}

void KdeOutputDevices::Connection::serve(std::string* why) {
    serving = true;
    publish();
    const int fd = wl_display_get_fd(display);
    for (;;) {
        while (wl_display_prepare_read(display) != 0) {
            if (wl_display_dispatch_pending(display) < 0) {
                *why = lostBecause();
                return;
            }
        }
        if (wl_display_flush(display) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display);
            *why = lostBecause();
            return;
        }
        pollfd fds[2] = {{fd, POLLIN, 0}, {owner.wakeFd_, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) {
            wl_display_cancel_read(display);
            *why = std::strerror(errno);
            return;
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (wl_display_read_events(display) < 0) {
                *why = lostBecause();
                return;
            }
        } else {
            wl_display_cancel_read(display);
        }
        if (wl_display_dispatch_pending(display) < 0) {
            *why = lostBecause();
            return;
        }
        if (fds[1].revents & POLLIN) {
            eventfd_t ignored;
            eventfd_read(owner.wakeFd_, &ignored);
            std::shared_ptr<Request> request;
            {
                std::lock_guard lock(owner.mutex_);
                if (owner.stopping_)
                    return;
                request = std::move(owner.request_);
            }
            if (request)
                startSwitchOff(std::move(request));
        }
    }
}

KdeOutputDevices::KdeOutputDevices(std::function<void(const std::string&)> log,
                                   std::function<void()> changed)
    : log_(std::move(log)),
      changedHandler_(std::move(changed)),
      wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    thread_ = std::thread([this] { run(); });
}

KdeOutputDevices::~KdeOutputDevices() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    eventfd_write(wakeFd_, 1);
    thread_.join();
    close(wakeFd_);
}

void KdeOutputDevices::publish(OutputAutomaticBrightness state, bool switchable, bool answered) {
    bool news = false;
    {
        std::lock_guard lock(mutex_);
        news = state_ != state || switchable_ != switchable || answered_ != answered;
        state_ = state;
        switchable_ = switchable;
        answered_ = answered_ || answered;
    }
    changed_.notify_all();
    if (news && changedHandler_)
        changedHandler_();
}

void KdeOutputDevices::run() {
    std::string lastLogged;
    for (;;) {
        std::string why;
        bool notKWin = false;
        {
            Connection connection(*this);
            if (connection.open(&why))
                connection.serve(&why);
            notKWin = connection.notKWin;
        }
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                return;
        }
        if (why != lastLogged) {
            log_("The compositor's description of the displays cannot be read: " + why);
            lastLogged = why;
        }
        publish(OutputAutomaticBrightness::NotKnown, false, true);
        // Until the next attempt (none with another compositor), a switch has
        // nothing to ask.
        const auto retryAt =
            std::chrono::steady_clock::now() + std::chrono::seconds(kReconnectSeconds);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                retryAt - std::chrono::steady_clock::now());
            if (left.count() <= 0 && !notKWin)
                break;
            pollfd wake{wakeFd_, POLLIN, 0};
            poll(&wake, 1, notKWin ? -1 : static_cast<int>(left.count()));
            eventfd_t ignored;
            eventfd_read(wakeFd_, &ignored);
            std::shared_ptr<Request> request;
            {
                std::lock_guard lock(mutex_);
                if (stopping_)
                    return;
                request = std::move(request_);
                if (request) {
                    request->done = true;
                    request->why = why;
                }
            }
            changed_.notify_all();
        }
    }
}

OutputAutomaticBrightness KdeOutputDevices::builtinAutomaticBrightness() const {
    std::lock_guard lock(mutex_);
    return state_;
}

bool KdeOutputDevices::canSwitchOffBuiltinAutomaticBrightness() const {
    std::lock_guard lock(mutex_);
    return switchable_;
}

bool KdeOutputDevices::waitForFirstAnswer(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return answered_; });
}

bool KdeOutputDevices::switchOffBuiltinAutomaticBrightness(std::chrono::milliseconds timeout,
                                                           std::string* why) {
    auto request = std::make_shared<Request>();
    std::unique_lock lock(mutex_);
    if (request_) {
        request_->done = true;
        request_->why = "a newer request came";
    }
    request_ = request;
    eventfd_write(wakeFd_, 1);
    if (!changed_.wait_for(lock, timeout, [&] { return request->done; })) {
        if (request_ == request)
            request_.reset();
        *why = "the compositor did not answer";
        return false;
    }
    *why = request->why;
    return request->ok;
}

}  // namespace platform::linux_machine
