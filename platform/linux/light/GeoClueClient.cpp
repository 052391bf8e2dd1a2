#include "linux/light/GeoClueClient.h"

#include <gio/gio.h>

#include <cmath>
#include <memory>

#include "linux/bus/PrivateBusConnection.h"
#include "linux/bus/PropertyChanges.h"
#include "linux/bus/PropertyChangesWatch.h"

namespace platform::linux_machine {
namespace {

constexpr const char* kService = "org.freedesktop.GeoClue2";
constexpr const char* kManagerPath = "/org/freedesktop/GeoClue2/Manager";
constexpr const char* kManager = "org.freedesktop.GeoClue2.Manager";
constexpr const char* kClient = "org.freedesktop.GeoClue2.Client";
constexpr const char* kLocation = "org.freedesktop.GeoClue2.Location";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
// Above GeoClue's own waits for agents (20 s for GetClient, see the header).
constexpr int kQuestionTimeoutMs = 30000;
// Start waits for the person where an agent asks them: no time limit.
constexpr int kNoTimeout = G_MAXINT;
constexpr int kStopTimeoutMs = 500;

// "GeoClue is not on the system bus", or the service's own words.
std::string whyOf(GError* error) {
    if (g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER))
        return "GeoClue (org.freedesktop.GeoClue2) is not on the system bus";
    if (g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SPAWN_EXEC_FAILED) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SPAWN_CHILD_EXITED))
        return "GeoClue (org.freedesktop.GeoClue2) could not be started";
    if (g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY) ||
        g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT))
        return "GeoClue did not answer";
    gchar* remote = g_dbus_error_get_remote_error(error);
    // The message without GDBus's "GDBus.Error:<name>: " in front.
    g_dbus_error_strip_remote_error(error);
    const std::string message = error->message;
    std::string why =
        g_strcmp0(remote, "org.freedesktop.DBus.Error.AccessDenied") == 0
            ? "GeoClue refused the place (" + message + ")"
            : "GeoClue failed (" + std::string(remote ? remote : "error") + ": " + message + ")";
    g_free(remote);
    return why;
}

bool isPlace(double latitude, double longitude) {
    return std::isfinite(latitude) && std::isfinite(longitude) && std::fabs(latitude) <= 90.0 &&
           std::fabs(longitude) <= 180.0;
}

}  // namespace

GeoClueClient::GeoClueClient(std::string desktopId,
                             std::function<void(const LocatedPlace&)> located,
                             std::function<void(const std::string&)> failed,
                             std::function<void()> stopped)
    : desktopId_(std::move(desktopId)),
      located_(std::move(located)),
      failed_(std::move(failed)),
      stopped_(std::move(stopped)) {}

GeoClueClient::~GeoClueClient() {
    if (cancel_)
        g_cancellable_cancel(cancel_);
    if (connection_ && subscription_)
        g_dbus_connection_signal_unsubscribe(connection_, subscription_);
    activeChanges_.stop();
    if (connection_ && running_ && !g_dbus_connection_is_closed(connection_)) {
        GVariant* reply = g_dbus_connection_call_sync(
            connection_, kService, clientPath_.c_str(), kClient, "Stop", nullptr, nullptr,
            G_DBUS_CALL_FLAGS_NONE, kStopTimeoutMs, nullptr, nullptr);
        if (reply)
            g_variant_unref(reply);
    }
    g_clear_object(&cancel_);
    g_clear_object(&connection_);
}

void GeoClueClient::fail(const std::string& why) {
    if (failedOnce_)
        return;
    failedOnce_ = true;
    if (failed_)
        failed_(why);
}

void GeoClueClient::call(const std::string& path, const char* interface, const char* method,
                         GVariant* parameters, const char* replyType, int timeoutMs,
                         Answered answered) {
    struct Asked {
        GeoClueClient* client;
        Answered answered;
    };
    g_dbus_connection_call(
        connection_, kService, path.c_str(), interface, method, parameters,
        replyType ? G_VARIANT_TYPE(replyType) : nullptr, G_DBUS_CALL_FLAGS_NONE, timeoutMs, cancel_,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Asked> asked(static_cast<Asked*>(data));
            GError* error = nullptr;
            GVariant* reply =
                g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
            if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
                g_error_free(error);
                return;  // this client is ending
            }
            asked->answered(asked->client, reply, error ? whyOf(error) : std::string());
            g_clear_error(&error);
            if (reply)
                g_variant_unref(reply);
        },
        new Asked{this, answered});
}

void GeoClueClient::setProperty(const char* name, GVariant* value, Answered next) {
    call(clientPath_, kProperties, "Set", g_variant_new("(ssv)", kClient, name, value), nullptr,
         kQuestionTimeoutMs, next);
}

void GeoClueClient::start() {
    if (started_)
        return;
    started_ = true;
    connection_ = openPrivateBusConnection(G_BUS_TYPE_SYSTEM);
    if (!connection_) {
        fail("there is no system bus");
        return;
    }
    cancel_ = g_cancellable_new();
    // GetClient also starts GeoClue where it is D-Bus activatable.
    call(kManagerPath, kManager, "GetClient", nullptr, "(o)", kQuestionTimeoutMs,
         [](GeoClueClient* c, GVariant* reply, const std::string& error) {
             if (!reply)
                 return c->fail(error);
             const gchar* path = nullptr;
             g_variant_get(reply, "(&o)", &path);
             c->clientPath_ = path;
             c->setProperty(
                 "DesktopId", g_variant_new_string(c->desktopId_.c_str()),
                 [](GeoClueClient* c, GVariant* reply, const std::string& error) {
                     if (!reply)
                         return c->fail(error);
                     c->setProperty(
                         "RequestedAccuracyLevel", g_variant_new_uint32(kCityAccuracy),
                         [](GeoClueClient* c, GVariant* reply, const std::string& error) {
                             if (!reply)
                                 return c->fail(error);
                             c->setProperty(
                                 "DistanceThreshold", g_variant_new_uint32(kDistanceThreshold),
                                 [](GeoClueClient* c, GVariant* reply, const std::string& error) {
                                     if (!reply)
                                         return c->fail(error);
                                     c->subscribe();
                                 });
                         });
                 });
         });
}

// The signal first, then Start: the first location may follow Start at once.
void GeoClueClient::subscribe() {
    // Sent to this connection alone (emit_location_updated names the peer).
    subscription_ = g_dbus_connection_signal_subscribe(
        connection_, kService, kClient, "LocationUpdated", clientPath_.c_str(), nullptr,
        G_DBUS_SIGNAL_FLAGS_NONE, reinterpret_cast<GDBusSignalCallback>(onLocationUpdated), this,
        nullptr);
    activeChanges_.start(connection_, kService, clientPath_.c_str(), kClient,
                         [this](const char*, const char*, const PropertyChanges& changes) {
                             onActiveChanged(changes);
                         });
    call(clientPath_, kClient, "Start", nullptr, "()", kNoTimeout,
         [](GeoClueClient* c, GVariant* reply, const std::string& error) {
             if (!reply)
                 return c->fail(error);
             c->running_ = true;
         });
}

void GeoClueClient::onLocationUpdated(GDBusConnection*, const char*, const char*, const char*,
                                      const char*, GVariant* parameters, void* self) {
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(oo)")))
        return;
    const gchar* fresh = nullptr;
    g_variant_get(parameters, "(&o&o)", nullptr, &fresh);
    if (g_strcmp0(fresh, "/") != 0)
        static_cast<GeoClueClient*>(self)->readLocation(fresh);
}

void GeoClueClient::onActiveChanged(const PropertyChanges& changes) {
    if (changes.boolean("Active").value_or(true))
        return;
    // A location still being read belongs to the client that stopped.
    newestLocation_.clear();
    if (stopped_)
        stopped_();
}

void GeoClueClient::readLocation(const std::string& path) {
    newestLocation_ = path;
    struct Asked {
        GeoClueClient* client;
        std::string path;
    };
    g_dbus_connection_call(
        connection_, kService, path.c_str(), kProperties, "GetAll", g_variant_new("(s)", kLocation),
        G_VARIANT_TYPE("(a{sv})"), G_DBUS_CALL_FLAGS_NONE, kQuestionTimeoutMs, cancel_,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Asked> asked(static_cast<Asked*>(data));
            GError* error = nullptr;
            GVariant* reply =
                g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
            const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
            g_clear_error(&error);
            // A location already replaced (GeoClue drops old ones after 5 s) is not news.
            if (cancelled || !reply || asked->client->newestLocation_ != asked->path) {
                if (reply)
                    g_variant_unref(reply);
                return;
            }
            GVariant* dict = g_variant_get_child_value(reply, 0);
            LocatedPlace place;
            const gchar* description = nullptr;
            const bool complete = g_variant_lookup(dict, "Latitude", "d", &place.latitude) &&
                                  g_variant_lookup(dict, "Longitude", "d", &place.longitude);
            if (g_variant_lookup(dict, "Description", "&s", &description) && description)
                place.description = description;
            g_variant_unref(dict);
            g_variant_unref(reply);
            if (complete && isPlace(place.latitude, place.longitude) && asked->client->located_)
                asked->client->located_(place);
        },
        new Asked{this, path});
}

}  // namespace platform::linux_machine
