#include "linux/foundation/GLibRunLoop.h"

#include <glib.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "machine/Machine.h"

namespace platform::linux_machine {
namespace {

// One GSource on the default main context services the main thread's run
// loop. Outside CFRunLoopRunInMode (when Qt or a plain GLib loop turns the
// context) the loop counts as running in the default mode.
struct RunLoopGSource {
    GSource base;
    CFRunLoopRef rl;
    int handled;
};

const CFRunLoopMode& modeOf(CFRunLoopRef rl) {
    return rl->currentMode().empty() ? kCFRunLoopDefaultMode : rl->currentMode();
}

double now() {
    return Machine::current().absoluteTime();
}

gboolean prepare(GSource* s, gint* timeout) {
    auto* src = reinterpret_cast<RunLoopGSource*>(s);
    const auto& mode = modeOf(src->rl);
    if (src->rl->hasSignalledSource(mode)) {
        *timeout = 0;
        return TRUE;
    }
    double next = src->rl->nextTimerDate(mode);
    if (!std::isfinite(next)) {
        *timeout = -1;
        return FALSE;
    }
    double wait = next - now();
    if (wait <= 0) {
        *timeout = 0;
        return TRUE;
    }
    *timeout = static_cast<gint>(std::min(std::ceil(wait * 1000.0), 1e9));
    return FALSE;
}

gboolean check(GSource* s) {
    auto* src = reinterpret_cast<RunLoopGSource*>(s);
    const auto& mode = modeOf(src->rl);
    return src->rl->hasSignalledSource(mode) || src->rl->nextTimerDate(mode) <= now();
}

gboolean dispatch(GSource* s, GSourceFunc, gpointer) {
    auto* src = reinterpret_cast<RunLoopGSource*>(s);
    src->handled += src->rl->serviceDue(now(), modeOf(src->rl));
    return G_SOURCE_CONTINUE;
}

GSourceFuncs funcs = {prepare, check, dispatch, nullptr, nullptr, nullptr};

RunLoopGSource* sourceFor(CFRunLoopRef rl) {
    static RunLoopGSource* src = nullptr;  // the main thread's loop
    if (!src) {
        src = reinterpret_cast<RunLoopGSource*>(g_source_new(&funcs, sizeof(RunLoopGSource)));
        src->rl = rl;
        src->handled = 0;
        g_source_set_name(&src->base, "CFRunLoop");
        g_source_attach(&src->base, g_main_context_default());
    }
    return src;
}

gboolean deadlineReached(gpointer flag) {
    *static_cast<bool*>(flag) = true;
    return G_SOURCE_REMOVE;
}

}  // namespace

CFRunLoopRunResult runGLibRunLoop(CFRunLoopRef rl, const CFRunLoopMode& mode, double seconds,
                                  bool returnAfterSourceHandled) {
    auto* src = sourceFor(rl);
    GMainContext* ctx = g_main_context_default();
    bool timedOut = false;
    guint deadline = 0;
    if (seconds < 1e9) {
        deadline = g_timeout_add_full(G_PRIORITY_DEFAULT,
                                      static_cast<guint>(std::max(0.0, seconds * 1000.0)),
                                      deadlineReached, &timedOut, nullptr);
    }
    CFRunLoopRunResult result = kCFRunLoopRunTimedOut;
    src->handled = 0;
    for (;;) {
        g_main_context_iteration(ctx, TRUE);
        if (rl->stopRequested) {
            result = kCFRunLoopRunStopped;
            break;
        }
        if (returnAfterSourceHandled && src->handled > 0) {
            result = kCFRunLoopRunHandledSource;
            break;
        }
        if (timedOut) {
            deadline = 0;
            break;
        }
    }
    if (deadline)
        g_source_remove(deadline);
    (void)mode;
    return result;
}

void wakeUpGLibRunLoop(CFRunLoopRef rl) {
    sourceFor(rl);
    g_main_context_wakeup(g_main_context_default());
}

}  // namespace platform::linux_machine
