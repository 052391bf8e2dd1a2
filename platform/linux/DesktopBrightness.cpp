#include "linux/DesktopBrightness.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <set>

#include "Machine.h"
#include "linux/DesktopBrightnessRoute.h"
#include "linux/MainContextPost.h"
#include "linux/PrivateBusConnection.h"

namespace platform::linux_machine {
namespace {

// A service that refused or failed a write is asked again after this long,
// unless its name changes owner sooner.
constexpr guint kRetrySeconds = 5;

std::vector<std::unique_ptr<DesktopBrightnessRoute>> desktopRoutes() {
    std::vector<std::unique_ptr<DesktopBrightnessRoute>> routes;
    routes.push_back(makePlasmaScreenBrightnessRoute());
    routes.push_back(makePlasmaPowerManagementRoute());
    routes.push_back(makeGnomeShellRoute());
    routes.push_back(makeMutterBacklightRoute());
    routes.push_back(makeGnomeSettingsDaemonRoute());
    return routes;
}

}  // namespace

int scaledTo(double brightness, int maximum) {
    return static_cast<int>(std::lround(std::clamp(brightness, 0.0, 1.0) * maximum));
}

struct DesktopBrightness::Core : std::enable_shared_from_this<Core> {
    // Where a service's signal goes. Kept here, not handed to GDBus to free:
    // GDBus frees subscription data later on the subscribing thread's loop,
    // which has stopped by then.
    struct SignalTarget {
        Core* core;
        DesktopBrightnessRoute* route;
    };

    Fallback fallback;
    PersonChanged personChanged;
    std::vector<std::unique_ptr<DesktopBrightnessRoute>> routes;
    BuiltinPanel panel;
    GMainContext* context = nullptr;
    GMainLoop* loop = nullptr;

    // Shared with the caller's thread, under the mutex.
    mutable std::mutex mutex;
    DesktopBrightnessRoute* active = nullptr;
    BuiltinBrightnessWhy why = BuiltinBrightnessWhy::LookingForDesktopService;
    std::optional<double> last;  // the last value this process wrote, by any way
    std::uint64_t written = 0;   // how many it wrote: the number of the last
    std::optional<double> pending;
    std::uint64_t pendingNumber = 0;
    bool scheduled = false;
    std::optional<double> target;

    // The thread's own.
    GDBusConnection* connection = nullptr;
    std::unique_ptr<DesktopBus> bus;
    std::vector<guint> subscriptions;
    std::vector<std::unique_ptr<SignalTarget>> targets;
    DesktopBrightnessRoute* lastUsed = nullptr;  // with the owner it answered from
    std::string lastOwner;
    bool lookScheduled = false;
    GSource* retry = nullptr;
    std::set<std::string> explained;

    ~Core() {
        if (loop)
            g_main_loop_unref(loop);
        if (context)
            g_main_context_unref(context);
    }

    void run();
    void subscribe(DesktopBrightnessRoute* route);
    void onSignal(DesktopBrightnessRoute* route, const char* path, const char* interface,
                  const char* member, GVariant* parameters);
    void lookAgainSoon();
    void look();
    void use(DesktopBrightnessRoute* route, const std::string& owner);
    void stopUsing(BuiltinBrightnessWhy reason);
    void writePending();
    void retryLater();
    void giveBack(double value, std::uint64_t number);
    void log(std::string line);
    void finish();
};

void DesktopBrightness::Core::run() {
    g_main_context_push_thread_default(context);
    connection = openPrivateBusConnection(G_BUS_TYPE_SESSION);
    if (connection) {
        bus = std::make_unique<DesktopBus>(connection);
        for (auto& route : routes)
            subscribe(route.get());
        look();
    } else {
        std::lock_guard lock(mutex);
        why = BuiltinBrightnessWhy::NoSessionBus;
    }
    g_main_loop_run(loop);
    finish();
    g_main_context_pop_thread_default(context);
}

// A service coming, going or restarting makes the routes be found again; its
// signals go to its route.
void DesktopBrightness::Core::subscribe(DesktopBrightnessRoute* route) {
    subscriptions.push_back(g_dbus_connection_signal_subscribe(
        connection, "org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged",
        "/org/freedesktop/DBus", route->busName(), G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
           gpointer data) { static_cast<Core*>(data)->lookAgainSoon(); },
        this, nullptr));
    subscriptions.push_back(g_dbus_connection_signal_subscribe(
        connection, route->busName(), nullptr, nullptr, nullptr, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar* path, const gchar* interface,
           const gchar* member, GVariant* parameters, gpointer data) {
            auto* t = static_cast<SignalTarget*>(data);
            t->core->onSignal(t->route, path, interface, member, parameters);
        },
        targets.emplace_back(std::make_unique<SignalTarget>(SignalTarget{this, route})).get(),
        nullptr));
}

void DesktopBrightness::Core::onSignal(DesktopBrightnessRoute* route, const char* path,
                                       const char* interface, const char* member,
                                       GVariant* parameters) {
    const RouteSignal meaning = route->onSignal(*bus, path, interface, member, parameters);
    if (meaning.kind == RouteSignal::Kind::LookAgain) {
        lookAgainSoon();
    } else if (meaning.kind == RouteSignal::Kind::PersonChanged) {
        bool inUse = false;
        {
            std::lock_guard lock(mutex);
            inUse = active == route;
        }
        if (inUse)
            personChanged(panel.display, meaning.brightness);
    }
}

void DesktopBrightness::Core::lookAgainSoon() {
    if (lookScheduled)
        return;
    lookScheduled = true;
    postToContext(context, [this] {
        lookScheduled = false;
        look();
    });
}

// The first route, in order, whose service is there and offers what a write needs.
void DesktopBrightness::Core::look() {
    if (retry) {
        g_source_destroy(retry);
        g_source_unref(retry);
        retry = nullptr;
    }
    bool unusable = false;
    for (auto& route : routes) {
        auto owner = bus->owner(route->busName());
        if (!owner)
            continue;
        if (route->attach(*bus, panel)) {
            use(route.get(), *owner);
            return;
        }
        unusable = true;
        if (explained.insert(*owner + bus->lastError()).second) {
            log(std::string(route->busName()) +
                " is not used for the built-in display: " + bus->lastError());
        }
    }
    stopUsing(unusable ? BuiltinBrightnessWhy::DesktopServiceUnusable
                       : BuiltinBrightnessWhy::NoDesktopService);
}

void DesktopBrightness::Core::use(DesktopBrightnessRoute* route, const std::string& owner) {
    // A new route, or its service restarted: it knows nothing of this
    // process's last value yet.
    const bool fresh = route != lastUsed || owner != lastOwner;
    DesktopBrightnessRoute* previous = nullptr;
    {
        std::lock_guard lock(mutex);
        previous = active;
    }
    if (previous && previous != route)
        previous->release(*bus);
    lastUsed = route;
    lastOwner = owner;
    {
        std::lock_guard lock(mutex);
        active = route;
        why = BuiltinBrightnessWhy::DesktopServiceAnswers;
        target.reset();
        if (fresh && last) {
            pending = last;
            pendingNumber = written;
        }
        if (route->writesATarget() && last)
            target = last;
    }
    if (fresh) {
        log("The built-in display's brightness is set through " + std::string(route->busName()));
        writePending();
    }
}

void DesktopBrightness::Core::stopUsing(BuiltinBrightnessWhy reason) {
    std::optional<double> orphan;
    std::uint64_t number = 0;
    bool wasActive = false;
    {
        std::lock_guard lock(mutex);
        wasActive = active != nullptr;
        active = nullptr;
        why = reason;
        target.reset();
        std::swap(orphan, pending);
        number = pendingNumber;
    }
    lastUsed = nullptr;
    lastOwner.clear();
    if (orphan)
        giveBack(*orphan, number);
    if (wasActive)
        log("The built-in display's brightness is written directly again");
}

void DesktopBrightness::Core::writePending() {
    double value = 0.0;
    std::uint64_t number = 0;
    DesktopBrightnessRoute* route = nullptr;
    {
        std::lock_guard lock(mutex);
        scheduled = false;
        if (!pending)
            return;
        value = *pending;
        number = pendingNumber;
        pending.reset();
        route = active;
    }
    if (!route) {
        giveBack(value, number);
        return;
    }
    if (route->write(*bus, value))
        return;
    log(std::string(route->busName()) + ": " + bus->lastError());
    giveBack(value, number);
    stopUsing(BuiltinBrightnessWhy::DesktopServiceFailed);
    retryLater();
}

void DesktopBrightness::Core::retryLater() {
    if (retry)
        return;
    retry = g_timeout_source_new_seconds(kRetrySeconds);
    g_source_set_callback(
        retry,
        [](gpointer data) -> gboolean {
            auto* core = static_cast<Core*>(data);
            g_source_unref(core->retry);
            core->retry = nullptr;
            core->look();
            return G_SOURCE_REMOVE;
        },
        this, nullptr);
    g_source_attach(retry, context);
}

// A value no route took goes to the caller's own writer, unless this process
// wrote a newer one since or a route took over again (and got the last one).
void DesktopBrightness::Core::giveBack(double value, std::uint64_t number) {
    std::weak_ptr<Core> weak = shared_from_this();
    postToMainContext([weak, value, number] {
        auto core = weak.lock();
        if (!core)
            return;
        {
            std::lock_guard lock(core->mutex);
            if (core->written != number || core->active)
                return;
        }
        core->fallback(value);
    });
}

void DesktopBrightness::Core::log(std::string line) {
    std::weak_ptr<Core> weak = shared_from_this();
    postToMainContext([weak, line = std::move(line)] {
        if (weak.lock())
            Machine::current().writeLog(line);
    });
}

// What was handed before the end is still written; then the display goes
// back to the desktop.
void DesktopBrightness::Core::finish() {
    if (!bus)
        return;
    writePending();
    DesktopBrightnessRoute* route = nullptr;
    {
        std::lock_guard lock(mutex);
        route = active;
    }
    if (route)
        route->release(*bus);
    for (guint id : subscriptions)
        g_dbus_connection_signal_unsubscribe(connection, id);
    if (retry) {
        g_source_destroy(retry);
        g_source_unref(retry);
        retry = nullptr;
    }
    g_dbus_connection_close_sync(connection, nullptr, nullptr);
    g_object_unref(connection);
    connection = nullptr;
}

DesktopBrightness::DesktopBrightness(Fallback fallback, PersonChanged personChanged)
    : DesktopBrightness(std::move(fallback), std::move(personChanged), desktopRoutes()) {}

DesktopBrightness::DesktopBrightness(Fallback fallback, PersonChanged personChanged,
                                     std::vector<std::unique_ptr<DesktopBrightnessRoute>> routes)
    : core_(std::make_shared<Core>()) {
    core_->fallback = std::move(fallback);
    core_->personChanged = std::move(personChanged);
    core_->routes = std::move(routes);
}

DesktopBrightness::~DesktopBrightness() {
    if (!thread_.joinable())
        return;
    postToContext(core_->context, [core = core_.get()] { g_main_loop_quit(core->loop); });
    thread_.join();
}

void DesktopBrightness::start(const BuiltinPanel& panel) {
    if (thread_.joinable())
        return;
    core_->panel = panel;
    core_->context = g_main_context_new();
    core_->loop = g_main_loop_new(core_->context, FALSE);
    thread_ = std::thread([core = core_] { core->run(); });
}

bool DesktopBrightness::hand(double brightness) {
    if (std::isnan(brightness))
        return false;
    bool wake = false;
    {
        std::lock_guard lock(core_->mutex);
        ++core_->written;
        core_->last = brightness;
        if (!core_->active)
            return false;
        core_->pending = brightness;
        core_->pendingNumber = core_->written;
        if (core_->active->writesATarget())
            core_->target = brightness;
        wake = !core_->scheduled;
        core_->scheduled = true;
    }
    if (wake)
        postToContext(core_->context, [core = core_.get()] { core->writePending(); });
    return true;
}

std::optional<double> DesktopBrightness::targetInEffect() const {
    std::lock_guard lock(core_->mutex);
    if (!core_->active || !core_->active->writesATarget())
        return std::nullopt;
    return core_->target;
}

BuiltinBrightnessRoute DesktopBrightness::route() const {
    if (!started())
        return {BuiltinBrightnessWay::None, BuiltinBrightnessWhy::NotLookedYet};
    std::lock_guard lock(core_->mutex);
    return {core_->active ? core_->active->way() : BuiltinBrightnessWay::None, core_->why};
}

}  // namespace platform::linux_machine
