// The host's application object: the GApplication (or GtkApplication) the host made and
// registered as the process's default one. Null while the host has made none.
#pragma once

#include <gio/gio.h>

namespace lv::desktop {

inline GApplication *application() { return g_application_get_default(); }

}  // namespace lv::desktop
