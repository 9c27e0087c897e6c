// The player's view: a GTK 4 widget that shows the newest video frame scaled to fit its
// bounds with the frame's aspect ratio kept, on black bars. It reads its size at every draw,
// so the picture follows every size change.
#pragma once

#include <gtk/gtk.h>

G_BEGIN_DECLS

#define LV_TYPE_PLAYER_VIEW (lv_player_view_get_type())
G_DECLARE_FINAL_TYPE(LVPlayerView, lv_player_view, LV, PLAYER_VIEW, GtkWidget)

// A new view showing nothing but its background (floating reference, like every widget).
GtkWidget *lv_player_view_new(void);

// Shows `frame` (or nothing, when null); `aspect` is the frame's display width over height.
void lv_player_view_show(LVPlayerView *view, GdkTexture *frame, double aspect);

G_END_DECLS
