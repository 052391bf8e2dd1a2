#include "linux/foundation/OneShotTimer.h"

#include <glib.h>

namespace platform::linux_machine {

void OneShotTimer::Destroy::operator()(GSource* source) const {
    g_source_destroy(source);
    g_source_unref(source);
}

void OneShotTimer::start(std::chrono::milliseconds after, std::function<void()> fire) {
    attach(g_timeout_source_new(static_cast<guint>(after.count())), std::move(fire));
}

void OneShotTimer::startSeconds(unsigned seconds, std::function<void()> fire) {
    attach(g_timeout_source_new_seconds(seconds), std::move(fire));
}

void OneShotTimer::attach(GSource* source, std::function<void()> fire) {
    source_.reset(source);
    fire_ = std::move(fire);
    g_source_set_callback(
        source,
        [](gpointer data) -> gboolean {
            auto* timer = static_cast<OneShotTimer*>(data);
            // GLib destroys the source once this returns.
            g_source_unref(timer->source_.release());
            // The work may start the timer again, which replaces fire_.
            auto fire = std::move(timer->fire_);
            fire();
            return G_SOURCE_REMOVE;
        },
        this, nullptr);
    g_source_attach(source, g_main_context_get_thread_default());
}

}  // namespace platform::linux_machine
