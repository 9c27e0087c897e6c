#include "main_queue.h"

#include <glib.h>

namespace lv::desktop {
namespace {

gboolean run_once(gpointer data) {
    (*static_cast<MainWork *>(data))();
    return G_SOURCE_REMOVE;
}

void delete_work(gpointer data) { delete static_cast<MainWork *>(data); }

unsigned attach(GSource *source, MainWork work) {
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, run_once, new MainWork(std::move(work)), delete_work);
    // Attaching wakes the context up when another thread is blocked in its poll.
    unsigned id = g_source_attach(source, g_main_context_default());
    g_source_unref(source);
    return id;
}

}  // namespace

void post_to_main(MainWork work) { attach(g_idle_source_new(), std::move(work)); }

unsigned schedule_on_main(unsigned delay_ms, MainWork work) {
    return attach(g_timeout_source_new(delay_ms), std::move(work));
}

void cancel_on_main(unsigned source_id) {
    if (source_id == 0) return;
    if (GSource *source = g_main_context_find_source_by_id(g_main_context_default(), source_id))
        g_source_destroy(source);
}

}  // namespace lv::desktop
