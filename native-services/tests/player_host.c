/* Drives the built player as the host does: on the main thread, iterating GLib's default main
 * context until the state changes. Usage: player_host MEDIA_DIR GROUP [OUTPUT_DIR]
 * with GROUP one of: states, view, cycles. Exits non-zero on the first failed check. */
#include "lumivane_image.h"

#include <gst/base/gstbasesink.h>
#include <gst/gst.h>
#include <gtk/gtk.h>

#include <math.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char *media_dir;
static int failures;

#define CHECK(cond, ...)                                                        \
    do {                                                                        \
        if (!(cond)) {                                                          \
            fprintf(stderr, "%s:%d: check failed: %s: ", __FILE__, __LINE__, #cond); \
            fprintf(stderr, __VA_ARGS__);                                       \
            fprintf(stderr, "\n");                                              \
            failures++;                                                         \
        }                                                                       \
    } while (0)

static const char *media(const char *name) {
    static char path[4096];
    snprintf(path, sizeof path, "%s/%s", media_dir, name);
    return path;
}

static gboolean tick(gpointer data) { (void)data; return G_SOURCE_CONTINUE; }

/* Iterates the main context for `seconds`. */
static void run_for(double seconds) {
    gint64 end = g_get_monotonic_time() + (gint64)(seconds * 1e6);
    while (g_get_monotonic_time() < end) g_main_context_iteration(NULL, TRUE);
}

typedef int (*condition)(lv_player *);
static int is_settled(lv_player *p) { return lv_player_state(p, NULL, NULL, NULL, NULL, 0) != 0; }
static int not_seeking(lv_player *p) { return !lv_player_seeking(p); }
static int stopped(lv_player *p) { int playing = 1; lv_player_state(p, NULL, NULL, &playing, NULL, 0); return !playing; }
static int moving(lv_player *p) { double at = 0; lv_player_state(p, &at, NULL, NULL, NULL, 0); return at > 0.3; }

/* Iterates the main context until `cond` holds; returns whether it did within `seconds`. */
static int run_until(lv_player *p, condition cond, double seconds) {
    gint64 end = g_get_monotonic_time() + (gint64)(seconds * 1e6);
    while (!cond(p)) {
        if (g_get_monotonic_time() > end) return 0;
        g_main_context_iteration(NULL, TRUE);
    }
    return 1;
}

static lv_player *loaded(const char *name) {
    lv_player *p = lv_player_create();
    lv_player_load(p, media(name));
    CHECK(run_until(p, is_settled, 20), "%s never settled", name);
    return p;
}

static void *create_elsewhere(void *out) { *(lv_player **)out = lv_player_create(); return NULL; }

static void null_handle_and_thread(void) {
    double at = 5, length = 5;
    int32_t playing = 5;
    char message[8] = "keep";
    lv_player_load(NULL, media("clip.wav"));
    lv_player_play(NULL, 1);
    lv_player_seek(NULL, 1);
    lv_player_volume(NULL, 1);
    lv_player_destroy(NULL);
    CHECK(lv_player_view(NULL) == NULL, "view of null");
    CHECK(lv_player_seeking(NULL) == 0, "seeking of null");
    CHECK(lv_player_state(NULL, &at, &length, &playing, message, sizeof message) == 0, "state of null");
    CHECK(at == 0 && length == 0 && playing == 0 && strcmp(message, "keep") == 0, "null reads as zero");

    lv_player *other = (lv_player *)&other;
    pthread_t thread;
    pthread_create(&thread, NULL, create_elsewhere, &other);
    pthread_join(thread, NULL);
    CHECK(other == NULL, "created off the main thread");
}

static void before_any_load(void) {
    lv_player *p = lv_player_create();
    CHECK(p != NULL, "create");
    double at = 5, length = 5;
    int32_t playing = 5;
    CHECK(lv_player_state(p, &at, &length, &playing, NULL, 0) == 0, "no item");
    CHECK(at == 0 && length == 0 && playing == 0, "no item reads zero: %g %g %d", at, length, playing);
    lv_player_play(p, 1);
    lv_player_seek(p, 2);
    CHECK(lv_player_seeking(p) == 1, "seek without item is pending until its completion");
    CHECK(run_until(p, not_seeking, 5), "seek without item completes");
    CHECK(lv_player_state(p, NULL, NULL, NULL, NULL, 0) == 0, "still no item");
    lv_player_destroy(p);
}

static void failing_items(const char *const *unplayable, size_t count);

static void formats(void) {
    static const struct { const char *name; double length; } playable[] = {
        {"clip.mp4", 3}, {"clip.mp3", 2}, {"clip.wav", 2}, {"clip.ogg", 2}, {"clip.webm", 2}};
    for (size_t i = 0; i < sizeof playable / sizeof *playable; i++) {
        lv_player *p = lv_player_create();
        lv_player_load(p, media(playable[i].name));
        CHECK(lv_player_state(p, NULL, NULL, NULL, NULL, 0) == 0, "%s: preparing right after load", playable[i].name);
        CHECK(run_until(p, is_settled, 20), "%s never settled", playable[i].name);
        double at = -1, length = -1;
        int32_t playing = -1;
        char message[256] = "";
        int32_t state = lv_player_state(p, &at, &length, &playing, message, sizeof message);
        CHECK(state == 1, "%s: ready, got %d (%s)", playable[i].name, state, message);
        CHECK(fabs(length - playable[i].length) < 0.15, "%s: duration %g", playable[i].name, length);
        CHECK(at < 0.05 && playing == 0, "%s: at start, paused: %g %d", playable[i].name, at, playing);
        lv_player_destroy(p);
    }

    static const char *unplayable[] = {"text.txt", "missing.mp4"};
    failing_items(unplayable, sizeof unplayable / sizeof *unplayable);
}

/* Items that cannot play: they fail at every poll with a reason, and the next load recovers. */
static void failing_items(const char *const *unplayable, size_t count) {
    for (size_t i = 0; i < count; i++) {
        lv_player *p = loaded(unplayable[i]);
        char message[256] = "";
        CHECK(lv_player_state(p, NULL, NULL, NULL, message, sizeof message) == -1, "%s fails", unplayable[i]);
        CHECK(message[0] != 0, "%s: a reason", unplayable[i]);
        printf("%s: %s\n", unplayable[i], message);
        run_for(0.2);
        CHECK(lv_player_state(p, NULL, NULL, NULL, NULL, 0) == -1, "%s: fails at every poll", unplayable[i]);
        char untouched[4] = "abc";
        CHECK(lv_player_state(p, NULL, NULL, NULL, untouched, 0) == -1 && strcmp(untouched, "abc") == 0,
              "capacity 0 writes nothing");
        CHECK(lv_player_state(p, NULL, NULL, NULL, untouched, 1) == -1 && untouched[0] == 0 && untouched[1] == 'b',
              "capacity 1 writes the NUL only");
        /* A playable file loaded after a failed one is ready again. */
        lv_player_load(p, media("clip.wav"));
        CHECK(run_until(p, is_settled, 20) && lv_player_state(p, NULL, NULL, NULL, NULL, 0) == 1,
              "%s: recovers with the next load", unplayable[i]);
        lv_player_destroy(p);
    }
}

static double position(lv_player *p) { double at = -1; lv_player_state(p, &at, NULL, NULL, NULL, 0); return at; }

static void seeks(void) {
    lv_player *p = loaded("clip.mp4");
    static const double targets[][2] = {{1.5, 1.5}, {-3, 0}, {NAN, 0}, {2.2, 2.2}};
    for (size_t i = 0; i < sizeof targets / sizeof *targets; i++) {
        lv_player_seek(p, targets[i][0]);
        CHECK(lv_player_seeking(p) == 1, "seeking right after the request");
        CHECK(run_until(p, not_seeking, 10), "seek to %g lands", targets[i][0]);
        CHECK(fabs(position(p) - targets[i][1]) < 0.05, "seek to %g lands at %g", targets[i][0], position(p));
    }

    /* Quick succession: only the newest seek's completion clears the flag. */
    lv_player_seek(p, 0.5);
    lv_player_seek(p, 1.0);
    lv_player_seek(p, 2.0);
    CHECK(lv_player_seeking(p) == 1, "three seeks pending");
    CHECK(run_until(p, not_seeking, 10), "the newest lands");
    CHECK(fabs(position(p) - 2.0) < 0.05, "at the newest target: %g", position(p));

    /* A load clears the flag at once; the old completion does not set it again. */
    lv_player_seek(p, 1.0);
    lv_player_load(p, media("clip.wav"));
    CHECK(lv_player_seeking(p) == 0, "a load clears the flag");
    for (int i = 0; i < 50; i++) {
        run_for(0.02);
        CHECK(lv_player_seeking(p) == 0, "stays clear");
    }
    lv_player_destroy(p);
}

static void playback(void) {
    /* Playing to the end: paused there. */
    lv_player *p = loaded("clip.wav");
    lv_player_play(p, 1);
    int32_t playing = 0;
    lv_player_state(p, NULL, NULL, &playing, NULL, 0);
    CHECK(playing == 1, "playing after play");
    CHECK(run_until(p, stopped, 10), "stops at the end");
    double at = 0, length = 0;
    CHECK(lv_player_state(p, &at, &length, &playing, NULL, 0) == 1, "still ready at the end");
    CHECK(playing == 0 && fabs(at - length) < 0.1 && length > 1.9, "paused at the end: %g of %g", at, length);
    run_for(0.3);
    CHECK(fabs(position(p) - length) < 0.1 && stopped(p), "stays at the end");

    /* From the end a seek back and play run again. */
    lv_player_seek(p, 0.5);
    CHECK(run_until(p, not_seeking, 10) && fabs(position(p) - 0.5) < 0.05, "back from the end");
    lv_player_play(p, 1);
    run_for(0.5);
    CHECK(position(p) > 0.8 && !stopped(p), "plays again: %g", position(p));

    /* Pause holds the position. */
    lv_player_play(p, 0);
    run_for(0.1);
    double held = position(p);
    run_for(0.4);
    CHECK(fabs(position(p) - held) < 0.02 && stopped(p), "pause holds %g, now %g", held, position(p));

    /* A load while playing: the new item is prepared, paused, from its start. */
    lv_player_load(p, media("clip.mp4"));
    lv_player_play(p, 1);
    CHECK(run_until(p, moving, 10), "the mp4 plays");
    lv_player_load(p, media("clip.mp3"));
    lv_player_state(p, NULL, NULL, &playing, NULL, 0);
    CHECK(playing == 0, "a load pauses");
    CHECK(run_until(p, is_settled, 20) && lv_player_state(p, &at, &length, NULL, NULL, 0) == 1, "mp3 ready");
    CHECK(fabs(length - 2) < 0.15 && at < 0.05, "the new item from its start: %g of %g", at, length);
    lv_player_destroy(p);

    /* Destroy with a seek pending: its completion arrives later and touches nothing freed. */
    p = loaded("clip.mp4");
    lv_player_play(p, 1);
    lv_player_seek(p, 2.5);
    lv_player_destroy(p);
    run_for(0.5);
}

/* An audio sink of the highest rank that records the loudest sample it renders: the system's
 * audio output as the player picks it. */
static float loudest;
typedef struct { GstBaseSink parent; } ProbeSink;
typedef struct { GstBaseSinkClass parent; } ProbeSinkClass;
G_DEFINE_TYPE(ProbeSink, probe_sink, GST_TYPE_BASE_SINK)
static GstFlowReturn probe_render(GstBaseSink *sink, GstBuffer *buffer) {
    (void)sink;
    GstMapInfo map;
    if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        const float *samples = (const float *)map.data;
        for (gsize i = 0; i < map.size / sizeof(float); i++)
            if (fabsf(samples[i]) > loudest) loudest = fabsf(samples[i]);
        gst_buffer_unmap(buffer, &map);
    }
    return GST_FLOW_OK;
}
static void probe_sink_class_init(ProbeSinkClass *klass) {
    static GstStaticPadTemplate pad = GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS,
        GST_STATIC_CAPS("audio/x-raw,format=F32LE,layout=interleaved,rate=44100,channels=[1,2]"));
    gst_element_class_add_static_pad_template(GST_ELEMENT_CLASS(klass), &pad);
    gst_element_class_set_static_metadata(GST_ELEMENT_CLASS(klass), "Probe", "Sink/Audio", "Loudest sample", "tests");
    GST_BASE_SINK_CLASS(klass)->render = probe_render;
}
static void probe_sink_init(ProbeSink *self) { gst_base_sink_set_sync(GST_BASE_SINK(self), TRUE); }

static void volume(void) {
    gst_init(NULL, NULL);
    gst_element_register(NULL, "lvprobeaudiosink", GST_RANK_PRIMARY + 1000, probe_sink_get_type());
    static const struct { float volume; float low, high; } cases[] = {{0, 0, 0}, {1, 0.45f, 0.55f}, {0.25f, 0.11f, 0.14f}};
    for (size_t i = 0; i < sizeof cases / sizeof *cases; i++) {
        lv_player *p = loaded("clip.wav"); /* a sine peaking at 0.5 */
        lv_player_volume(p, cases[i].volume);
        lv_player_play(p, 1);
        run_for(0.4); /* what was queued before the change has played out */
        loudest = 0;
        run_for(0.6);
        CHECK(loudest >= cases[i].low && loudest <= cases[i].high, "volume %g: loudest %g",
              cases[i].volume, loudest);
        lv_player_destroy(p);
    }
}

static long status_field(const char *field) {
    FILE *file = fopen("/proc/self/status", "r");
    char line[256];
    long value = -1;
    while (file && fgets(line, sizeof line, file))
        if (strncmp(line, field, strlen(field)) == 0) value = strtol(line + strlen(field), NULL, 10);
    if (file) fclose(file);
    return value;
}

static void cycles(void) {
    long rss_base = 0, threads_base = 0;
    for (int i = 0; i < 100; i++) {
        lv_player *p = lv_player_create();
        lv_player_load(p, media(i % 2 ? "clip.mp4" : "clip.webm"));
        CHECK(run_until(p, is_settled, 20) && lv_player_state(p, NULL, NULL, NULL, NULL, 0) == 1, "cycle %d", i);
        if (i % 3 == 0) lv_player_seek(p, 1.0);
        lv_player_destroy(p);
        run_for(0.02);
        if (getenv("LUMIVANE_PLAYER_TRACE") && i % 10 == 9)
            printf("cycle %d: %ld kB, %ld threads\n", i + 1, status_field("VmRSS:"), status_field("Threads:"));
        if (i == 19) {
            rss_base = status_field("VmRSS:");
            threads_base = status_field("Threads:");
        }
    }
    run_for(0.3);
    long rss = status_field("VmRSS:"), threads = status_field("Threads:");
    printf("after 20 cycles: %ld kB, %ld threads; after 100: %ld kB, %ld threads\n", rss_base, threads_base, rss,
           threads);
    CHECK(threads <= threads_base, "threads grew: %ld -> %ld", threads_base, threads);
    CHECK(rss - rss_base < 8 * 1024, "memory grew: %ld -> %ld kB", rss_base, rss);
}

/* The view rendered as the window shows it, read back as RGBA bytes. */
static guchar *render_view(GtkWidget *view, int *width, int *height, const char *png) {
    *width = gtk_widget_get_width(view);
    *height = gtk_widget_get_height(view);
    GdkPaintable *paintable = gtk_widget_paintable_new(view);
    GtkSnapshot *snapshot = gtk_snapshot_new();
    gdk_paintable_snapshot(paintable, snapshot, *width, *height);
    GskRenderNode *node = gtk_snapshot_free_to_node(snapshot);
    guchar *pixels = NULL;
    if (node) {
        graphene_rect_t viewport;
        graphene_rect_init(&viewport, 0, 0, (float)*width, (float)*height);
        GdkTexture *texture = gsk_renderer_render_texture(gtk_native_get_renderer(gtk_widget_get_native(view)), node, &viewport);
        if (png) gdk_texture_save_to_png(texture, png);
        pixels = g_malloc((gsize)*width * *height * 4);
        gdk_texture_download(texture, pixels, (gsize)*width * 4); /* B G R A in memory, premultiplied */
        g_object_unref(texture);
        gsk_render_node_unref(node);
    }
    g_object_unref(paintable);
    return pixels;
}

static int near(const guchar *bgra, int r, int g, int b) {
    return abs(bgra[2] - r) <= 24 && abs(bgra[1] - g) <= 24 && abs(bgra[0] - b) <= 24;
}

static void view(const char *output_dir) {
    lv_player *p = lv_player_create();
    GtkWidget *widget = lv_player_view(p);
    CHECK(widget != NULL && GTK_IS_WIDGET(widget), "a widget");
    if (!widget) return;
    GtkWidget *window = gtk_window_new();
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    gtk_window_set_child(GTK_WINDOW(window), widget);
    lv_player_load(p, media("bars.mp4"));
    lv_player_seek(p, 0.5);
    static const struct { int width, height; const char *name; } sizes[] = {
        {640, 240, "view-wide.png"}, {240, 480, "view-tall.png"}, {400, 300, "view-exact.png"}};
    /* The 75% bars from left to right: white, yellow, cyan, green, magenta, red, blue. */
    static const int bars[7][3] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                                   {191, 0, 191},   {191, 0, 0},   {0, 0, 191}};
    for (size_t s = 0; s < sizeof sizes / sizeof *sizes; s++) {
        gtk_widget_set_size_request(widget, sizes[s].width, sizes[s].height);
        gtk_window_present(GTK_WINDOW(window));
        run_until(p, not_seeking, 10);
        run_for(0.5);
        char png[4096];
        snprintf(png, sizeof png, "%s/%s", output_dir, sizes[s].name);
        int width = 0, height = 0;
        guchar *pixels = render_view(widget, &width, &height, png);
        CHECK(width == sizes[s].width && height == sizes[s].height, "view follows its size: %dx%d", width, height);
        CHECK(pixels != NULL, "rendered");
        if (!pixels || width != sizes[s].width || height != sizes[s].height) continue;
        /* The 4:3 picture fitted inside, centred. */
        double pw = width, ph = height;
        if (pw > ph * 4 / 3) pw = ph * 4 / 3; else ph = pw * 3 / 4;
        double left = (width - pw) / 2, top = (height - ph) / 2;
        if (left > 4) {
            CHECK(near(pixels + ((height / 2) * width + (int)(left / 2)) * 4, 0, 0, 0), "pillarbox bar black");
            CHECK(near(pixels + ((height / 2) * width + width - 1 - (int)(left / 2)) * 4, 0, 0, 0), "right bar black");
        }
        if (top > 4) {
            CHECK(near(pixels + ((int)(top / 2) * width + width / 2) * 4, 0, 0, 0), "letterbox bar black");
            CHECK(near(pixels + ((height - 1 - (int)(top / 2)) * width + width / 2) * 4, 0, 0, 0), "bottom bar black");
        }
        for (int b = 0; b < 7; b++) {
            int x = (int)(left + pw * (b + 0.5) / 7), y = (int)(top + ph * 0.3);
            const guchar *px = pixels + (y * width + x) * 4;
            CHECK(near(px, bars[b][0], bars[b][1], bars[b][2]), "%s bar %d at %d,%d: %d %d %d", sizes[s].name, b, x,
                  y, px[2], px[1], px[0]);
        }
        g_free(pixels);
    }
    const char *hold = getenv("LUMIVANE_PLAYER_HOLD"); /* seconds to keep the window up, for a screenshot */
    if (hold) run_for(atof(hold));
    lv_player_destroy(p);
    gtk_window_destroy(GTK_WINDOW(window));
    run_for(0.1);
}

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s MEDIA_DIR states|truncated|volume|view|cycles [OUTPUT_DIR]\n", argv[0]);
        return 2;
    }
    media_dir = argv[1];
    g_timeout_add(10, tick, NULL); /* wakes the blocking iteration now and then */
    if (strcmp(argv[2], "states") == 0) {
        null_handle_and_thread();
        before_any_load();
        formats();
        seeks();
        playback();
    } else if (strcmp(argv[2], "truncated") == 0) {
        static const char *truncated[] = {"truncated.mp4"};
        failing_items(truncated, 1);
    } else if (strcmp(argv[2], "volume") == 0) {
        volume();
    } else if (strcmp(argv[2], "cycles") == 0) {
        cycles();
    } else if (strcmp(argv[2], "view") == 0) {
        CHECK(gtk_init_check(), "a display");
        view(argc > 3 ? argv[3] : ".");
    } else {
        return 2;
    }
    printf("%s: %d failed checks\n", argv[2], failures);
    return failures ? 1 : 0;
}
