#include "linux/desktop/GnomeAmbientLight.h"

#include <gio/gio.h>

#include <condition_variable>
#include <mutex>

#include "linux/bus/PrivateBusConnection.h"
#include "linux/bus/PropertyChanges.h"
#include "linux/bus/PropertyChangesWatch.h"
#include "linux/bus/PropertyReadLater.h"
#include "linux/bus/ServiceWatch.h"
#include "linux/foundation/MainContextPost.h"

namespace platform::linux_machine {
namespace {

constexpr const char* kPowerPlugin = "org.gnome.SettingsDaemon.Power";
constexpr const char* kSensorProxy = "net.hadess.SensorProxy";
constexpr const char* kSensorProxyPath = "/net/hadess/SensorProxy";

}  // namespace

struct GnomeAmbientLight::Core {
    std::function<void()> changed;
    GMainContext* context = g_main_context_new();
    GMainLoop* loop = g_main_loop_new(context, FALSE);

    mutable std::mutex mutex;
    mutable std::condition_variable answered;
    std::optional<bool> powerPlugin;  // its name has an owner
    std::optional<bool> lightSensor;  // the proxy has one

    // The thread's own.
    GDBusConnection* session = nullptr;
    GDBusConnection* system = nullptr;
    ServiceWatch powerWatch;
    ServiceWatch proxyWatch;
    PropertyChangesWatch proxyProperties;
    GCancellable* asking = nullptr;

    ~Core() {
        g_main_loop_unref(loop);
        g_main_context_unref(context);
    }

    void run();
    void set(std::optional<bool>& fact, bool value);
    void askSensorProxy(const char* owner);
    void takeHasAmbientLight(GVariant* value);
    void finish();
};

void GnomeAmbientLight::Core::set(std::optional<bool>& fact, bool value) {
    bool news = false;
    {
        std::lock_guard lock(mutex);
        news = fact != value;
        fact = value;
    }
    answered.notify_all();
    if (news && changed)
        changed();
}

// A missing or ill-typed property is no light sensor.
void GnomeAmbientLight::Core::takeHasAmbientLight(GVariant* value) {
    set(lightSensor, value && g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) &&
                         g_variant_get_boolean(value));
}

void GnomeAmbientLight::Core::askSensorProxy(const char* owner) {
    readPropertyLater(system, owner, kSensorProxyPath, kSensorProxy, "HasAmbientLight", 1000,
                      &asking, [this](GVariant* value) { takeHasAmbientLight(value); });
}

void GnomeAmbientLight::Core::run() {
    g_main_context_push_thread_default(context);
    session = openPrivateBusConnection(G_BUS_TYPE_SESSION);
    if (session) {
        powerWatch.start(
            session, kPowerPlugin, [this](const std::string&) { set(powerPlugin, true); },
            [this] { set(powerPlugin, false); });
    } else {
        set(powerPlugin, false);
    }
    system = openPrivateBusConnection(G_BUS_TYPE_SYSTEM);
    if (system) {
        proxyProperties.start(system, kSensorProxy, kSensorProxyPath, nullptr,
                              [this](const char*, const char*, const PropertyChanges& changes) {
                                  if (Variant has = changes.value("HasAmbientLight"))
                                      takeHasAmbientLight(has.get());
                              });
        proxyWatch.start(
            system, kSensorProxy,
            [this](const std::string& owner) { askSensorProxy(owner.c_str()); },
            [this] { set(lightSensor, false); });
    } else {
        set(lightSensor, false);
    }
    g_main_loop_run(loop);
    finish();
    g_main_context_pop_thread_default(context);
}

void GnomeAmbientLight::Core::finish() {
    if (asking) {
        g_cancellable_cancel(asking);
        g_object_unref(asking);
        asking = nullptr;
    }
    powerWatch.stop();
    proxyWatch.stop();
    proxyProperties.stop();
    // What the unwatching left for the loop (freeing its data) is done now.
    while (g_main_context_iteration(context, FALSE)) {
    }
    for (GDBusConnection* bus : {session, system}) {
        if (!bus)
            continue;
        g_dbus_connection_close_sync(bus, nullptr, nullptr);
        g_object_unref(bus);
    }
}

GnomeAmbientLight::GnomeAmbientLight(std::function<void()> changed)
    : core_(std::make_shared<Core>()) {
    core_->changed = std::move(changed);
    thread_ = std::thread([core = core_] { core->run(); });
}

GnomeAmbientLight::~GnomeAmbientLight() {
    postToContext(core_->context, [core = core_.get()] { g_main_loop_quit(core->loop); });
    thread_.join();
}

std::optional<bool> GnomeAmbientLight::canAdjust() const {
    std::lock_guard lock(core_->mutex);
    if (!core_->powerPlugin || !core_->lightSensor)
        return std::nullopt;
    return *core_->powerPlugin && *core_->lightSensor;
}

bool GnomeAmbientLight::waitForFirstAnswer(std::chrono::milliseconds limit) const {
    std::unique_lock lock(core_->mutex);
    return core_->answered.wait_for(lock, limit,
                                    [this] { return core_->powerPlugin && core_->lightSensor; });
}

}  // namespace platform::linux_machine
