#include "support/FakeKdeOutputs.h"

#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <thread>

#include <wayland-server.h>

#include "kde-output-devices-server-protocol.h"

namespace testing_support {
namespace {

constexpr uint32_t kFirstRegistryVersion = 21;

}  // namespace

struct FakeKdeOutputs::State {
    struct Output {
        State* state = nullptr;
        Display display;
        wl_global* global = nullptr;
        bool gone = false;
        std::vector<wl_resource*> resources;
    };

    Options options;
    std::deque<Output> outputs;
    std::string folder, socket;
    wl_display* display = nullptr;
    int wakeFd = -1;
    wl_event_source* wakeSource = nullptr;
    bool stop = false;
    std::string refusal;
    std::vector<std::string> requests;
    std::vector<std::pair<Output*, bool>> pending;  // of the configuration being built
    std::vector<wl_resource*> registries;

    std::mutex mutex;
    std::condition_variable done;
    std::deque<std::function<void()>> tasks;
    std::thread thread;

    void describe(Output& output, wl_resource* device);
    void add(const Display& display);
    void announce(wl_resource* registry, Output& output);
    void sendAutomatic(Output& output);
    wl_resource* newDevice(wl_client* client, uint32_t version, uint32_t id, Output& output);
};

namespace {

using State = FakeKdeOutputs::State;

void releaseDevice(wl_client*, wl_resource* resource) {
    wl_resource_destroy(resource);
}
const struct kde_output_device_v2_interface kDeviceRequests { releaseDevice };

void forgetDevice(wl_resource* resource) {
    auto* output = static_cast<State::Output*>(wl_resource_get_user_data(resource));
    std::erase(output->resources, resource);
}

void setAutomatic(wl_client*, wl_resource* configuration, wl_resource* device, uint32_t enabled) {
    auto* state = static_cast<State*>(wl_resource_get_user_data(configuration));
    auto* output = static_cast<State::Output*>(wl_resource_get_user_data(device));
    state->requests.push_back(output->display.name + " auto_brightness " + std::to_string(enabled));
    state->pending.emplace_back(output, enabled != 0);
}

// As KWin: the displays' new properties and their `done` first, then applied.
void apply(wl_client*, wl_resource* configuration) {
    auto* state = static_cast<State*>(wl_resource_get_user_data(configuration));
    auto pending = std::move(state->pending);
    if (!state->refusal.empty()) {
        kde_output_configuration_v2_send_failure_reason(configuration, state->refusal.c_str());
        kde_output_configuration_v2_send_failed(configuration);
        return;
    }
    for (auto& [output, on] : pending) {
        output->display.automatic = on;
        state->sendAutomatic(*output);
    }
    kde_output_configuration_v2_send_applied(configuration);
}

void destroyResource(wl_client*, wl_resource* resource) {
    wl_resource_destroy(resource);
}

struct kde_output_configuration_v2_interface configurationRequests() {
    struct kde_output_configuration_v2_interface requests {};
    requests.apply = apply;
    requests.destroy = destroyResource;
    requests.set_auto_brightness = setAutomatic;
    return requests;
}
const struct kde_output_configuration_v2_interface kConfigurationRequests = configurationRequests();

void createConfiguration(wl_client* client, wl_resource* management, uint32_t id) {
    wl_resource* configuration = wl_resource_create(client, &kde_output_configuration_v2_interface,
                                                    wl_resource_get_version(management), id);
    wl_resource_set_implementation(configuration, &kConfigurationRequests,
                                   wl_resource_get_user_data(management), nullptr);
}
const struct kde_output_management_v2_interface kManagementRequests {
    createConfiguration, nullptr
};

void bindManagement(wl_client* client, void* data, uint32_t version, uint32_t id) {
    wl_resource* resource = wl_resource_create(client, &kde_output_management_v2_interface,
                                               static_cast<int>(version), id);
    wl_resource_set_implementation(resource, &kManagementRequests, data, nullptr);
}

void bindDevice(wl_client* client, void* data, uint32_t version, uint32_t id) {
    auto* output = static_cast<State::Output*>(data);
    output->state->newDevice(client, version, id, *output);
}

void stopRegistry(wl_client*, wl_resource* registry) {
    kde_output_device_registry_v2_send_finished(registry);
    wl_resource_destroy(registry);
}

void forgetRegistry(wl_resource* registry) {
    std::erase(static_cast<State*>(wl_resource_get_user_data(registry))->registries, registry);
}
const struct kde_output_device_registry_v2_interface kRegistryRequests { stopRegistry };

void bindRegistry(wl_client* client, void* data, uint32_t version, uint32_t id) {
    auto* state = static_cast<State*>(data);
    wl_resource* registry = wl_resource_create(client, &kde_output_device_registry_v2_interface,
                                               static_cast<int>(version), id);
    wl_resource_set_implementation(registry, &kRegistryRequests, state, forgetRegistry);
    state->registries.push_back(registry);
    for (auto& output : state->outputs) {
        if (!output.gone)
            state->announce(registry, output);
    }
}

int wake(int fd, uint32_t, void* data) {
    auto* state = static_cast<State*>(data);
    eventfd_t ignored;
    eventfd_read(fd, &ignored);
    std::unique_lock lock(state->mutex);
    while (!state->tasks.empty()) {
        auto task = std::move(state->tasks.front());
        state->tasks.pop_front();
        lock.unlock();
        task();
        lock.lock();
    }
    state->done.notify_all();
    return 0;
}

}  // namespace

wl_resource* State::newDevice(wl_client* client, uint32_t version, uint32_t id, Output& output) {
    wl_resource* device =
        wl_resource_create(client, &kde_output_device_v2_interface, static_cast<int>(version), id);
    wl_resource_set_implementation(device, &kDeviceRequests, &output, forgetDevice);
    output.resources.push_back(device);
    if (id != 0)  // bound as a global: described at once
        describe(output, device);
    return device;
}

void State::describe(Output& output, wl_resource* device) {
    const int version = wl_resource_get_version(device);
    kde_output_device_v2_send_geometry(device, 0, 0, 300, 190, 0, "Fake",
                                       output.display.name.c_str(), 0);
    wl_resource* mode = wl_resource_create(wl_resource_get_client(device),
                                           &kde_output_device_mode_v2_interface, version, 0);
    kde_output_device_v2_send_mode(device, mode);
    kde_output_device_mode_v2_send_size(mode, 1920, 1200);
    kde_output_device_mode_v2_send_refresh(mode, 60000);
    kde_output_device_mode_v2_send_preferred(mode);
    kde_output_device_v2_send_current_mode(device, mode);
    kde_output_device_v2_send_scale(device, wl_fixed_from_int(1));
    kde_output_device_v2_send_enabled(device, 1);
    if (version >= KDE_OUTPUT_DEVICE_V2_NAME_SINCE_VERSION)
        kde_output_device_v2_send_name(device, output.display.name.c_str());
    uint32_t capabilities = KDE_OUTPUT_DEVICE_V2_CAPABILITY_BRIGHTNESS;
    if (output.display.hasAutomaticBrightness &&
        version >= KDE_OUTPUT_DEVICE_V2_CAPABILITY_AUTO_BRIGHTNESS_SINCE_VERSION)
        capabilities |= KDE_OUTPUT_DEVICE_V2_CAPABILITY_AUTO_BRIGHTNESS;
    kde_output_device_v2_send_capabilities(device, capabilities);
    if (version >= KDE_OUTPUT_DEVICE_V2_BRIGHTNESS_SINCE_VERSION)
        kde_output_device_v2_send_brightness(device, 5000);
    if (version >= KDE_OUTPUT_DEVICE_V2_AUTO_BRIGHTNESS_SINCE_VERSION)
        kde_output_device_v2_send_auto_brightness(device, output.display.automatic ? 1 : 0);
    kde_output_device_v2_send_done(device);
}

void State::announce(wl_resource* registry, Output& output) {
    wl_resource* device =
        newDevice(wl_resource_get_client(registry),
                  static_cast<uint32_t>(wl_resource_get_version(registry)), 0, output);
    kde_output_device_registry_v2_send_output(registry, device);
    describe(output, device);
}

void State::add(const Display& display) {
    auto& output = outputs.emplace_back();
    output.state = this;
    output.display = display;
    if (options.deviceVersion < kFirstRegistryVersion)
        output.global =
            wl_global_create(this->display, &kde_output_device_v2_interface,
                             static_cast<int>(options.deviceVersion), &output, bindDevice);
    for (wl_resource* registry : registries)
        announce(registry, output);
}

void State::sendAutomatic(Output& output) {
    for (wl_resource* device : output.resources) {
        if (wl_resource_get_version(device) >= KDE_OUTPUT_DEVICE_V2_AUTO_BRIGHTNESS_SINCE_VERSION) {
            kde_output_device_v2_send_auto_brightness(device, output.display.automatic ? 1 : 0);
            kde_output_device_v2_send_done(device);
        }
    }
}

FakeKdeOutputs::FakeKdeOutputs(std::vector<Display> displays, Options options)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.options = options;
    char folder[] = "/tmp/duolume-kwin-XXXXXX";
    if (!mkdtemp(folder))
        throw std::runtime_error("no folder for the compositor's socket");
    s.folder = folder;
    s.socket = s.folder + "/wayland-0";
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, s.socket.c_str(), sizeof address.sun_path - 1);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 16) != 0)
        throw std::runtime_error("the compositor's socket cannot be made");
    s.display = wl_display_create();
    wl_display_add_socket_fd(s.display, fd);
    for (auto& display : displays)
        s.add(display);
    if (options.deviceVersion >= kFirstRegistryVersion)
        wl_global_create(s.display, &kde_output_device_registry_v2_interface,
                         static_cast<int>(options.deviceVersion), &s, bindRegistry);
    if (options.management)
        wl_global_create(s.display, &kde_output_management_v2_interface,
                         static_cast<int>(options.managementVersion), &s, bindManagement);
    s.wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    wl_event_loop* loop = wl_display_get_event_loop(s.display);
    s.wakeSource = wl_event_loop_add_fd(loop, s.wakeFd, WL_EVENT_READABLE, wake, &s);
    s.thread = std::thread([&s, loop] {
        while (!s.stop) {
            wl_event_loop_dispatch(loop, -1);
            wl_display_flush_clients(s.display);
        }
    });
}

FakeKdeOutputs::~FakeKdeOutputs() {
    onCompositorThread([](State& s) { s.stop = true; });
    state_->thread.join();
    wl_event_source_remove(state_->wakeSource);
    wl_display_destroy_clients(state_->display);
    wl_display_destroy(state_->display);
    close(state_->wakeFd);
    std::filesystem::remove_all(state_->folder);
}

void FakeKdeOutputs::onCompositorThread(std::function<void(State&)> change) const {
    State& s = *state_;
    bool finished = false;
    std::unique_lock lock(s.mutex);
    s.tasks.push_back([&] {
        change(s);
        std::lock_guard inner(s.mutex);
        finished = true;
    });
    eventfd_write(s.wakeFd, 1);
    s.done.wait(lock, [&] { return finished; });
}

const std::string& FakeKdeOutputs::socketPath() const {
    return state_->socket;
}

void FakeKdeOutputs::setAutomatic(const std::string& display, bool on) {
    onCompositorThread([&](State& s) {
        for (auto& output : s.outputs) {
            if (output.display.name == display) {
                output.display.automatic = on;
                s.sendAutomatic(output);
            }
        }
    });
}

void FakeKdeOutputs::plugIn(const Display& display) {
    onCompositorThread([&](State& s) { s.add(display); });
}

void FakeKdeOutputs::refuseConfigurations(const std::string& reason) {
    onCompositorThread([&](State& s) { s.refusal = reason; });
}

void FakeKdeOutputs::remove(const std::string& display) {
    onCompositorThread([&](State& s) {
        for (auto& output : s.outputs) {
            if (output.display.name != display || output.gone)
                continue;
            output.gone = true;
            if (output.global) {
                wl_global_destroy(output.global);
                output.global = nullptr;
            }
            for (wl_resource* device : output.resources) {
                if (wl_resource_get_version(device) >= KDE_OUTPUT_DEVICE_V2_REMOVED_SINCE_VERSION)
                    kde_output_device_v2_send_removed(device);
            }
        }
    });
}

std::vector<std::string> FakeKdeOutputs::requests() const {
    std::vector<std::string> copy;
    onCompositorThread([&](State& s) { copy = s.requests; });
    return copy;
}

bool FakeKdeOutputs::automatic(const std::string& display) const {
    bool on = false;
    onCompositorThread([&](State& s) {
        for (const auto& output : s.outputs) {
            if (output.display.name == display)
                on = output.display.automatic;
        }
    });
    return on;
}

}  // namespace testing_support
