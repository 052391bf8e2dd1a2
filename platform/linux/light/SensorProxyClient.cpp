#include "linux/light/SensorProxyClient.h"

#include <gio/gio.h>

#include <cmath>
#include <memory>

#include "linux/bus/PrivateBusConnection.h"
#include "linux/bus/PropertyChanges.h"
#include "linux/bus/PropertyChangesWatch.h"

namespace platform::linux_machine {
namespace {

constexpr const char* kService = "net.hadess.SensorProxy";
constexpr const char* kPath = "/net/hadess/SensorProxy";
constexpr const char* kInterface = "net.hadess.SensorProxy";
// A hung service must not hold a question (or the release at the end) for long.
constexpr int kCallTimeoutMs = 500;
// How long the level stays unconfirmed after a claim at most. iio-sensor-proxy
// 3.0 polls IIO light sensors every 0.8 s and announces its first reading at
// the first poll, also a reading of 0 lux (measured: umockdev test bed with an
// iio-poll-als device, the first PropertiesChanged 0.80 s after ClaimLight).
constexpr std::chrono::milliseconds kFirstAnnouncementWait{1500};
// read(): the longest a one-time look waits in all (bus, questions, the wait above).
constexpr gint64 kOneLookUs = 3'000'000;

// Ends a question: false when it was cancelled (its asker may be gone);
// otherwise true, with the reply in `reply` or null when there is none.
bool finished(GObject* source, GAsyncResult* result, GVariant** reply) {
    GError* error = nullptr;
    *reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
    g_clear_error(&error);
    return !cancelled;
}

// A PropertiesChanged that announces a light level: LightLevel changed (or
// invalidated). The announcement a starting daemon sends as soon as its
// drivers are set up carries every property, HasAmbientLight among them, with
// LightLevel still 0.0 (seen from iio-sensor-proxy 3.0 under umockdev): that
// one tells which sensors there are, and is not a reading.
bool announcesALevel(const PropertyChanges& changes) {
    return (changes.value("LightLevel") && !changes.value("HasAmbientLight")) ||
           changes.invalidates("LightLevel");
}

}  // namespace

SensorProxyClient::SensorProxyClient(std::function<void()> changed)
    : changed_(std::move(changed)) {}

SensorProxyClient::~SensorProxyClient() {
    if (connection_ && !claimedOwner_.empty() && !g_dbus_connection_is_closed(connection_)) {
        GVariant* reply = g_dbus_connection_call_sync(
            connection_, claimedOwner_.c_str(), kPath, kInterface, "ReleaseLight", nullptr, nullptr,
            G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, nullptr);
        if (reply)
            g_variant_unref(reply);
    }
    forget();
    if (ownContext_)
        g_main_context_unref(ownContext_);
}

void SensorProxyClient::notify() {
    if (changed_)
        changed_();
}

// Drops the connection and all that was known through it.
void SensorProxyClient::forget() {
    if (cancel_) {
        g_cancellable_cancel(cancel_);
        g_clear_object(&cancel_);
    }
    service_.stop();
    announcements_.stop();
    firstAnnouncementWait_.stop();
    g_clear_object(&connection_);
    asking_ = ownerKnown_ = propertiesKnown_ = false;
    owner_.clear();
    claimedOwner_.clear();
}

void SensorProxyClient::follow() {
    if (connection_ && g_dbus_connection_is_closed(connection_)) {
        forget();
        notify();
    }
    if (!connection_) {
        connection_ = openPrivateBusConnection(G_BUS_TYPE_SYSTEM);
        bool failed = connection_ == nullptr;
        if (failed != connectFailed_ || failed) {
            connectFailed_ = failed;
            notify();
        }
        if (failed)
            return;
        cancel_ = g_cancellable_new();
        subscribe();
        return;
    }
    if (reclaimWanted_ && !asking_) {
        reclaimWanted_ = false;
        reclaim();
    }
    // A question that failed (a hung or busy service) is asked again.
    if (!owner_.empty() && !asking_) {
        if (!propertiesKnown_)
            ask();
        else if (hasAmbientLight_ && unit_ == "lux" && claimedOwner_ != owner_)
            claim();
    }
}

// Announcements first, then the owner, so no first announcement after a claim is missed.
void SensorProxyClient::subscribe() {
    announcements_.start(connection_, kService, kPath, kInterface,
                         [this](const char* sender, const char*, const PropertyChanges& changes) {
                             onPropertiesChanged(sender, changes);
                         });
    // Auto-start: an activatable service is started, as any question to it would.
    service_.start(
        connection_, kService, [this](const std::string& owner) { onAppeared(owner); },
        [this] { onVanished(); }, ServiceWatch::Start::IfActivatable);
}

void SensorProxyClient::onAppeared(const std::string& owner) {
    if (owner_ == owner)
        return;
    g_cancellable_cancel(cancel_);
    g_object_unref(cancel_);
    cancel_ = g_cancellable_new();
    asking_ = propertiesKnown_ = false;
    owner_ = owner;
    ownerKnown_ = true;
    ask();
    notify();
}

void SensorProxyClient::onVanished() {
    g_cancellable_cancel(cancel_);
    g_object_unref(cancel_);
    cancel_ = g_cancellable_new();
    asking_ = propertiesKnown_ = false;
    owner_.clear();
    claimedOwner_.clear();
    ownerKnown_ = true;
    notify();
}

void SensorProxyClient::question(const std::string& destination, const char* interface,
                                 const char* method, GVariant* parameters,
                                 const GVariantType* replyType, Answered answered) {
    asking_ = true;
    struct Asked {
        SensorProxyClient* client;
        Answered answered;
    };
    g_dbus_connection_call(
        connection_, destination.c_str(), kPath, interface, method, parameters, replyType,
        G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, cancel_,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Asked> asked(static_cast<Asked*>(data));
            GVariant* reply = nullptr;
            if (!finished(source, result, &reply))
                return;  // cancelled: its asker may be gone
            asked->client->asking_ = false;
            asked->answered(asked->client, reply);
            if (reply)
                g_variant_unref(reply);
        },
        new Asked{this, answered});
}

// All properties, asked of the owner (the level is kept up to date only from a claim on).
void SensorProxyClient::ask() {
    question(owner_, "org.freedesktop.DBus.Properties", "GetAll", g_variant_new("(s)", kInterface),
             G_VARIANT_TYPE("(a{sv})"), [](SensorProxyClient* client, GVariant* reply) {
                 if (!reply)
                     return;  // asked again at the next follow()
                 GVariant* dict = g_variant_get_child_value(reply, 0);
                 client->hasAmbientLight_ = false;
                 client->unit_.clear();
                 client->level_.reset();
                 client->takeProperties(dict);
                 client->propertiesKnown_ = true;
                 g_variant_unref(dict);
                 if (client->hasAmbientLight_ && client->unit_ == "lux" &&
                     client->claimedOwner_ != client->owner_)
                     client->claim();
                 client->notify();
             });
}

void SensorProxyClient::takeProperties(GVariant* dict) {
    gboolean has = FALSE;
    if (g_variant_lookup(dict, "HasAmbientLight", "b", &has)) {
        // A sensor that went away and comes back is claimed (and awaited) again.
        if (!has)
            claimedOwner_.clear();
        hasAmbientLight_ = has;
    }
    const gchar* unit = nullptr;
    if (g_variant_lookup(dict, "LightLevelUnit", "&s", &unit) && unit)
        unit_ = unit;
    gdouble level = 0.0;
    if (g_variant_lookup(dict, "LightLevel", "d", &level))
        level_ = level;
}

void SensorProxyClient::claim() {
    // Only an announcement after this claim confirms a level.
    announcedBy_.clear();
    question(owner_, kInterface, "ClaimLight", nullptr, G_VARIANT_TYPE("()"),
             [](SensorProxyClient* client, GVariant* reply) {
                 if (!reply)
                     return;  // claimed again at the next follow()
                 client->claimedOwner_ = client->owner_;
                 client->armFirstAnnouncementWait();
                 client->ask();
                 client->notify();
             });
}

bool SensorProxyClient::reclaim() {
    if (!connection_ || owner_.empty() || claimedOwner_ != owner_)
        return false;
    if (asking_) {
        reclaimWanted_ = true;
        return true;
    }
    release();
    return true;
}

void SensorProxyClient::release() {
    const std::string owner = claimedOwner_;
    claimedOwner_.clear();
    announcedBy_.clear();
    question(owner, kInterface, "ReleaseLight", nullptr, G_VARIANT_TYPE("()"),
             [](SensorProxyClient* client, GVariant*) {
                 // Claimed again whatever the answer: a service that lost our
                 // claim on its own takes a new one the same way.
                 if (!client->owner_.empty())
                     client->claim();
                 client->notify();
             });
}

void SensorProxyClient::armFirstAnnouncementWait() {
    waitRanOut_ = false;
    firstAnnouncementWait_.start(kFirstAnnouncementWait, [this] {
        waitRanOut_ = true;
        notify();
    });
}

void SensorProxyClient::onPropertiesChanged(const char* sender, const PropertyChanges& changes) {
    if (!sender)
        return;
    if (announcesALevel(changes))
        announcedBy_ = sender;
    if (owner_ == sender && propertiesKnown_) {
        takeProperties(changes.values());
        if (changes.invalidates("LightLevel") && !asking_)
            ask();
        else if (hasAmbientLight_ && unit_ == "lux" && claimedOwner_ != owner_ && !asking_)
            claim();
    }
    notify();
}

SensorProxyClient::Result SensorProxyClient::current() const {
    Result r;
    if (!connection_) {
        r.known = connectFailed_;
        r.why = "no system bus";
        return r;
    }
    if (owner_.empty()) {
        r.known = ownerKnown_;
        r.why = "not running";
        return r;
    }
    if (!propertiesKnown_) {
        r.why = "not answering yet";
        return r;
    }
    if (!hasAmbientLight_) {
        r.known = true;
        r.why = "has no light sensor";
        return r;
    }
    if (unit_ != "lux") {
        r.status = Status::NotLux;
        r.known = true;
        r.why = "reports in " + (unit_.empty() ? std::string("no unit") : unit_) + ", not lux";
        return r;
    }
    r.status = Status::Reading;
    if (level_ && std::isfinite(*level_) && *level_ >= 0.0)
        r.lux = level_;
    r.announced = claimedOwner_ == owner_ && announcedBy_ == owner_;
    r.known = r.announced || (claimedOwner_ == owner_ && waitRanOut_);
    return r;
}

SensorProxyClient::Result SensorProxyClient::read() {
    if (!ownContext_)
        ownContext_ = g_main_context_new();
    GMainContext* context = ownContext_;
    g_main_context_push_thread_default(context);
    follow();
    const gint64 end = g_get_monotonic_time() + kOneLookUs;
    while (!current().known && g_get_monotonic_time() < end) {
        GSource* tick = g_timeout_source_new(50);
        g_source_set_callback(
            tick, [](gpointer) -> gboolean { return G_SOURCE_REMOVE; }, nullptr, nullptr);
        g_source_attach(tick, context);
        g_main_context_iteration(context, TRUE);
        g_source_destroy(tick);
        g_source_unref(tick);
        follow();
    }
    Result result = current();
    g_main_context_pop_thread_default(context);
    return result;
}

}  // namespace platform::linux_machine
