#include "linux/desktop/DesktopBrightness.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <set>
#include <utility>

#include "base/RawBrightness.h"
#include "linux/bus/PrivateBusConnection.h"
#include "linux/bus/ServiceWatch.h"
#include "linux/desktop/DesktopBrightnessRoute.h"
#include "linux/desktop/SentValues.h"
#include "linux/foundation/MainContextPost.h"
#include "linux/foundation/OneShotTimer.h"
#include "machine/Machine.h"

namespace platform::linux_machine {
namespace {

// A service that refused, failed or was not ready is asked again after this
// long, unless its name changes owner sooner; one that stays unusable less
// and less often, down to the longest pause.
constexpr guint kRetrySeconds = 5;
constexpr guint kLongestRetrySeconds = 300;

std::vector<std::unique_ptr<DesktopBrightnessRoute>> desktopRoutes() {
    std::vector<std::unique_ptr<DesktopBrightnessRoute>> routes;
    routes.push_back(makePlasmaScreenBrightnessRoute());
    routes.push_back(makePlasmaPowerManagementRoute());
    routes.push_back(makeMutterBacklightRoute());
    routes.push_back(makeGnomeSettingsDaemonRoute());
    return routes;
}

}  // namespace

int scaledTo(double brightness, int maximum) {
    return static_cast<int>(rawBrightness(brightness, maximum));
}

struct DesktopBrightness::Core : std::enable_shared_from_this<Core> {
    using Clock = std::chrono::steady_clock;
    // Where a service's signal goes. Kept here, not handed to GDBus to free:
    // GDBus frees subscription data later on the subscribing thread's loop,
    // which has stopped by then.
    struct SignalTarget {
        Core* core;
        DesktopBrightnessRoute* route;
    };
    // Who owns a route's name. GLib's first answer only tells whether the
    // service is there, which the first look finds out itself; each answer
    // after it is a change.
    struct OwnerWatch {
        ServiceWatch watch;
        bool answered = false;
    };

    Fallback fallback;
    PersonChanged personChanged;
    std::vector<std::unique_ptr<DesktopBrightnessRoute>> routes;
    BuiltinPanel panel;
    GMainContext* context = nullptr;
    GMainLoop* loop = nullptr;

    // Shared with the caller's thread, under the mutex.
    mutable std::mutex mutex;
    mutable std::condition_variable lookedChanged;
    bool looked = false;  // the first look has ended
    DesktopBrightnessRoute* active = nullptr;
    BuiltinBrightnessWhy why = BuiltinBrightnessWhy::LookingForDesktopService;
    std::optional<double> last;                  // the last value this process wrote, by any way
    std::uint64_t written = 0;                   // how many it wrote: the number of the last
    SentValues<double> recent;                   // what it handed lately
    bool viaDesktop = false;                     // the last value went through a desktop route
    DesktopBrightnessRoute::LandingMap landing;  // of the route that took it
    std::optional<double> shown;                 // someone else's value the service announced since
    bool dimmed = false;                         // the desktop's idle dim is on: values wait
    std::optional<double> pending;
    std::uint64_t pendingNumber = 0;
    bool scheduled = false;

    // The thread's own.
    GDBusConnection* connection = nullptr;
    std::unique_ptr<DesktopBus> bus;
    std::vector<guint> subscriptions;
    std::vector<std::unique_ptr<SignalTarget>> targets;
    std::vector<std::unique_ptr<OwnerWatch>> owners;
    DesktopBrightnessRoute* lastUsed = nullptr;  // with the owner it answered from
    std::string lastOwner;
    bool lookScheduled = false;
    OneShotTimer retry;
    guint retrySeconds = kRetrySeconds;
    OneShotTimer paced;
    Clock::time_point lastSent;
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
    void lookEnded();
    void use(DesktopBrightnessRoute* route, const std::string& owner);
    void stopUsing(BuiltinBrightnessWhy reason);
    void writePending();
    bool waitForPace(DesktopBrightnessRoute* route);
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
        {
            std::lock_guard lock(mutex);
            why = BuiltinBrightnessWhy::NoSessionBus;
        }
        lookEnded();
    }
    g_main_loop_run(loop);
    finish();
    g_main_context_pop_thread_default(context);
}

// A service coming, going or restarting makes the routes be found again; its
// signals go to its route.
void DesktopBrightness::Core::subscribe(DesktopBrightnessRoute* route) {
    OwnerWatch* owner = owners.emplace_back(std::make_unique<OwnerWatch>()).get();
    auto changed = [this, owner] {
        if (!std::exchange(owner->answered, true) || g_dbus_connection_is_closed(connection))
            return;
        retrySeconds = kRetrySeconds;
        lookAgainSoon();
    };
    owner->watch.start(
        connection, route->busName(), [changed](const std::string&) { changed(); }, changed);
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

// What the service announced: this process's own value (the desktop's dim
// is over, someone else's value gone), someone else's change (taken at once,
// with its value), or the desktop's idle dim (values wait until it is over).
void DesktopBrightness::Core::onSignal(DesktopBrightnessRoute* route, const char* path,
                                       const char* interface, const char* member,
                                       GVariant* parameters) {
    const RouteSignal meaning = route->onSignal(*bus, path, interface, member, parameters);
    if (meaning.kind == RouteSignal::Kind::LookAgain) {
        lookAgainSoon();
        return;
    }
    bool undimmed = false;
    {
        std::lock_guard lock(mutex);
        if (active != route)
            return;
        landing = route->landingMap();
        switch (meaning.kind) {
            case RouteSignal::Kind::Ours:
                undimmed = dimmed;
                dimmed = false;
                shown.reset();
                break;
            case RouteSignal::Kind::PersonChanged:
                dimmed = false;
                if (meaning.brightness)
                    shown = meaning.brightness;
                break;
            case RouteSignal::Kind::Dimmed:
                dimmed = true;
                break;
            default:
                return;
        }
    }
    if (meaning.kind == RouteSignal::Kind::PersonChanged)
        personChanged(panel.display, meaning.brightness);
    if (undimmed)
        writePending();
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
    retry.stop();
    bool unusable = false;
    for (auto& route : routes) {
        auto owner = bus->owner(route->busName());
        if (!owner)
            continue;
        if (route->attach(*bus, panel)) {
            use(route.get(), *owner);
            lookEnded();
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
    lookEnded();
    // "Not ready" (a service still starting) looks like any other refusal.
    if (unusable) {
        retryLater();
        retrySeconds = std::min(retrySeconds * 2, kLongestRetrySeconds);
    }
}

// Values held while the first look went on go to the route found, or back
// to the caller's own writer.
void DesktopBrightness::Core::lookEnded() {
    std::optional<double> orphan;
    std::uint64_t number = 0;
    {
        std::lock_guard lock(mutex);
        looked = true;
        if (!active) {
            std::swap(orphan, pending);
            number = pendingNumber;
        }
    }
    lookedChanged.notify_all();
    if (orphan)
        giveBack(*orphan, number);
    else
        writePending();
}

void DesktopBrightness::Core::use(DesktopBrightnessRoute* route, const std::string& owner) {
    // A new route, or its service restarted: it knows nothing of this
    // process's last value yet.
    const bool fresh = route != lastUsed || owner != lastOwner;
    lastUsed = route;
    lastOwner = owner;
    retrySeconds = kRetrySeconds;
    {
        std::lock_guard lock(mutex);
        active = route;
        why = BuiltinBrightnessWhy::DesktopServiceAnswers;
        landing = route->landingMap();
        if (fresh) {
            shown.reset();
            dimmed = false;
            if (last) {
                pending = last;
                pendingNumber = written;
                viaDesktop = true;  // what it is sent now is what the panel will show
            }
        }
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
        shown.reset();
        dimmed = false;
        std::swap(orphan, pending);
        number = pendingNumber;
    }
    lastUsed = nullptr;
    lastOwner.clear();
    paced.stop();
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
        if (!pending || !active || dimmed)
            return;  // nothing to write, none to write it (looked for), or the dim's
        route = active;
        if (waitForPace(route))
            return;
        value = *pending;
        number = pendingNumber;
        pending.reset();
    }
    lastSent = Clock::now();
    if (route->write(*bus, value))
        return;
    log(std::string(route->busName()) + ": " + bus->lastError());
    giveBack(value, number);
    stopUsing(BuiltinBrightnessWhy::DesktopServiceFailed);
    retryLater();
}

// True, with a timer set for the rest, while the route's pace does not let
// another value go yet; the newest value handed meanwhile goes then.
bool DesktopBrightness::Core::waitForPace(DesktopBrightnessRoute* route) {
    const auto due = lastSent + route->pace();
    const auto now = Clock::now();
    if (route->pace().count() == 0 || now >= due)
        return false;
    if (!paced.running()) {
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - now);
        paced.start(std::max(wait, std::chrono::milliseconds(1)), [this] { writePending(); });
    }
    return true;
}

void DesktopBrightness::Core::retryLater() {
    if (!retry.running())
        retry.startSeconds(retrySeconds, [this] { look(); });
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
            core->viaDesktop = false;
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

// What was handed before the end is still written, at once.
void DesktopBrightness::Core::finish() {
    if (!bus)
        return;
    paced.stop();
    lastSent = {};
    writePending();
    for (guint id : subscriptions)
        g_dbus_connection_signal_unsubscribe(connection, id);
    owners.clear();
    retry.stop();
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

bool DesktopBrightness::waitUntilLooked(std::chrono::milliseconds limit) const {
    if (!started())
        return false;
    std::unique_lock lock(core_->mutex);
    return core_->lookedChanged.wait_for(lock, limit, [this] { return core_->looked; });
}

bool DesktopBrightness::hand(double brightness) {
    if (std::isnan(brightness))
        return false;
    bool wake = false;
    {
        std::lock_guard lock(core_->mutex);
        ++core_->written;
        core_->last = brightness;
        core_->recent.sent(brightness);
        core_->shown.reset();
        const bool held = started() && !core_->looked;
        if (!held && !core_->active) {
            core_->viaDesktop = false;
            return false;
        }
        core_->viaDesktop = true;
        core_->pending = brightness;
        core_->pendingNumber = core_->written;
        wake = !held && !core_->scheduled;
        core_->scheduled = core_->scheduled || wake;
    }
    if (wake)
        postToContext(core_->context, [core = core_.get()] { core->writePending(); });
    return true;
}

std::optional<double> DesktopBrightness::announced() const {
    std::lock_guard lock(core_->mutex);
    if (!core_->active || !core_->active->announcesChanges() || !core_->viaDesktop)
        return std::nullopt;
    return core_->shown ? core_->shown : core_->last;
}

std::optional<double> DesktopBrightness::explainedBy(long long raw) const {
    std::lock_guard lock(core_->mutex);
    if (!core_->viaDesktop || !core_->landing || !core_->last)
        return std::nullopt;
    const bool explained = core_->recent.any([&](double sent) {
        const PanelLanding l = core_->landing(sent);
        return std::llabs(raw - l.raw) <= l.slack;
    });
    return explained ? core_->last : std::nullopt;
}

BuiltinBrightnessRoute DesktopBrightness::route() const {
    if (!started())
        return {wayNumber(BuiltinBrightnessWay::None), BuiltinBrightnessWhy::NotLookedYet};
    std::lock_guard lock(core_->mutex);
    return {wayNumber(core_->active ? core_->active->way() : BuiltinBrightnessWay::None),
            core_->why};
}

bool DesktopBrightness::backlightTellsOfOthers() const {
    std::lock_guard lock(core_->mutex);
    return !core_->active || !core_->active->announcesChanges();
}

}  // namespace platform::linux_machine
