// The host's main thread: the thread that started the process. The host runs its GLib or
// GTK main loop there, and platform callbacks arrive there.
#pragma once

namespace lv::desktop {

bool is_main_thread();

}  // namespace lv::desktop
