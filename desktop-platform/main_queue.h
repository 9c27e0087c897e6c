// The main queue: GLib's default main context, which the host iterates on its main thread.
// Work is always posted and runs on a later iteration, never inline, whichever thread posts it.
#pragma once

#include <functional>

namespace lv::desktop {

using MainWork = std::function<void()>;

// Runs `work` once on the main context as soon as it is idle enough (default priority).
void post_to_main(MainWork work);

// Runs `work` once on the main context after `delay_ms` milliseconds. Returns the source id,
// which cancel_on_main takes back while it has not run yet.
unsigned schedule_on_main(unsigned delay_ms, MainWork work);
void cancel_on_main(unsigned source_id);

}  // namespace lv::desktop
