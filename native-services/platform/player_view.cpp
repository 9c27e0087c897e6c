#include "player_view.h"

struct _LVPlayerView {
    GtkWidget parent_instance;
    GdkTexture *frame;  // strong, or null
    double aspect;      // display width over height of `frame`
};

G_DEFINE_FINAL_TYPE(LVPlayerView, lv_player_view, GTK_TYPE_WIDGET)

namespace {

// The largest rectangle of the frame's aspect ratio that fits in width x height, centred.
graphene_rect_t fitted_rect(double width, double height, double aspect) {
    double w = width, h = height;
    if (width > height * aspect)
        w = height * aspect;  // pillarbox: bars left and right
    else
        h = width / aspect;   // letterbox: bars above and below
    graphene_rect_t rect;
    graphene_rect_init(&rect, float((width - w) / 2), float((height - h) / 2), float(w), float(h));
    return rect;
}

void view_snapshot(GtkWidget *widget, GtkSnapshot *snapshot) {
    LVPlayerView *self = LV_PLAYER_VIEW(widget);
    const double width = gtk_widget_get_width(widget), height = gtk_widget_get_height(widget);
    if (width <= 0 || height <= 0) return;
    const GdkRGBA black = {0, 0, 0, 1};
    graphene_rect_t bounds;
    graphene_rect_init(&bounds, 0, 0, float(width), float(height));
    gtk_snapshot_append_color(snapshot, &black, &bounds);
    if (self->frame && self->aspect > 0) {
        graphene_rect_t picture = fitted_rect(width, height, self->aspect);
        gtk_snapshot_append_texture(snapshot, self->frame, &picture);
    }
}

void view_dispose(GObject *object) {
    g_clear_object(&LV_PLAYER_VIEW(object)->frame);
    G_OBJECT_CLASS(lv_player_view_parent_class)->dispose(object);
}

}  // namespace

static void lv_player_view_class_init(LVPlayerViewClass *klass) {
    G_OBJECT_CLASS(klass)->dispose = view_dispose;
    GTK_WIDGET_CLASS(klass)->snapshot = view_snapshot;
}

static void lv_player_view_init(LVPlayerView *self) {
    self->frame = nullptr;
    self->aspect = 0;
    gtk_widget_set_hexpand(GTK_WIDGET(self), TRUE);
    gtk_widget_set_vexpand(GTK_WIDGET(self), TRUE);
}

GtkWidget *lv_player_view_new(void) { return GTK_WIDGET(g_object_new(LV_TYPE_PLAYER_VIEW, nullptr)); }

void lv_player_view_show(LVPlayerView *view, GdkTexture *frame, double aspect) {
    if (frame) g_object_ref(frame);
    g_clear_object(&view->frame);
    view->frame = frame;
    view->aspect = aspect;
    gtk_widget_queue_draw(GTK_WIDGET(view));
}
