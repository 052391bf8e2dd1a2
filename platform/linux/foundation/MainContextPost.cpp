#include "linux/foundation/MainContextPost.h"

#include <glib.h>

namespace platform::linux_machine {

void postToMainContext(std::function<void()> work) {
    postToContext(g_main_context_default(), std::move(work));
}

void postToContext(GMainContext* context, std::function<void()> work) {
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(
        source,
        [](gpointer data) -> gboolean {
            (*static_cast<std::function<void()>*>(data))();
            return G_SOURCE_REMOVE;
        },
        new std::function<void()>(std::move(work)),
        [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
    g_source_attach(source, context);
    g_source_unref(source);
}

}  // namespace platform::linux_machine
