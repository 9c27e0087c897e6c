// The player exports: LVMediaPlayer over a playbin, polled by the host on the main thread.
#include "lumivane_image.h"

#include "../platform/audio_output.h"
#include "../platform/video_frames.h"
#include "media_player.h"
#include "message_buffer.h"

#include <main_queue.h>
#include <main_thread.h>

#include <algorithm>
#include <cmath>
#include <utility>

using lv::player::BusState;
using lv::player::PendingSeek;

namespace {

constexpr const char *kUnplayable = "Não foi possível reproduzir o arquivo.";

// Reports seeks as completed: one step on the main context clears the flag when a seek is
// still the newest one, then lets go of the players it held.
void report_completed(std::vector<PendingSeek> done) {
    if (done.empty()) return;
    lv::desktop::post_to_main([done = std::move(done)] {
        for (const PendingSeek &seek : done)
            if (seek.player->seekVersion == seek.version) seek.player->seeking = false;
    });
}

std::vector<PendingSeek> take_all_seeks(BusState &bus) {
    std::lock_guard guard(bus.lock);
    return std::exchange(bus.seeks, {});
}

// At the end of the stream the item stays paused at its end.
void pause_at_end(std::weak_ptr<LVMediaPlayer> owner, std::uint64_t item) {
    auto player = owner.lock();
    if (!player || !player->player) return;
    {
        std::lock_guard guard(player->bus->lock);
        if (player->bus->item != item || !player->bus->at_end) return;
    }
    player->playing = false;
    gst_element_set_state(player->player, GST_STATE_PAUSED);
}

// Runs on the thread that posts each message; nothing here touches the player itself.
GstBusSyncReply on_bus_message(GstBus *, GstMessage *message, gpointer data) {
    BusState &bus = **static_cast<std::shared_ptr<BusState> *>(data);
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ASYNC_DONE: {
        // A flushing seek ends with the pipeline's ASYNC_DONE, which carries the seek's
        // sequence number. It completes that seek and every earlier one it interrupted; an
        // ASYNC_DONE of another origin (the preroll) completes whatever was pending.
        const std::uint32_t seqnum = gst_message_get_seqnum(message);
        std::vector<PendingSeek> done;
        {
            std::lock_guard guard(bus.lock);
            bus.prerolled = true;
            auto last = std::find_if(bus.seeks.begin(), bus.seeks.end(),
                                     [seqnum](const PendingSeek &seek) { return seek.seqnum == seqnum; });
            auto end = last == bus.seeks.end() ? last : last + 1;
            done.assign(std::make_move_iterator(bus.seeks.begin()), std::make_move_iterator(end));
            bus.seeks.erase(bus.seeks.begin(), end);
        }
        report_completed(std::move(done));
        break;
    }
    case GST_MESSAGE_ERROR: {
        GError *error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        {
            std::lock_guard guard(bus.lock);
            if (!bus.failed) {
                bus.failed = true;
                bus.error = error && error->message ? error->message : "";
            }
        }
        g_clear_error(&error);
        break;
    }
    case GST_MESSAGE_EOS: {
        std::uint64_t item;
        std::weak_ptr<LVMediaPlayer> owner;
        {
            std::lock_guard guard(bus.lock);
            bus.at_end = true;
            item = bus.item;
            owner = bus.owner;
        }
        lv::desktop::post_to_main([owner, item] { pause_at_end(owner, item); });
        break;
    }
    default:
        break;
    }
    return GST_BUS_DROP;  // nobody pops the bus: everything is handled here
}

void delete_bus_state(gpointer data) { delete static_cast<std::shared_ptr<BusState> *>(data); }

bool platform_ready() {
    static const bool ready = gst_init_check(nullptr, nullptr, nullptr);
    // The host normally has GTK running already; without a display the player has no view.
    if (!gtk_is_initialized()) gtk_init_check();
    return ready;
}

double seconds_or_zero(bool known, gint64 nanoseconds) {
    double seconds = known && nanoseconds >= 0 ? double(nanoseconds) / GST_SECOND : NAN;
    return std::isfinite(seconds) ? seconds : 0;
}

}  // namespace

extern "C" {

lv_player *lv_player_create(void) {
    if (!lv::desktop::is_main_thread() || !platform_ready()) return nullptr;
    GstElement *playbin = gst_element_factory_make("playbin", nullptr);
    GstElement *audio = lv::player::make_audio_sink();
    if (!playbin || !audio) {
        if (playbin) gst_object_unref(gst_object_ref_sink(playbin));
        if (audio) gst_object_unref(audio);
        return nullptr;
    }
    auto self = std::make_shared<LVMediaPlayer>();
    self->player = GST_ELEMENT(gst_object_ref_sink(playbin));
    if (gtk_is_initialized()) self->view = LV_PLAYER_VIEW(g_object_ref_sink(lv_player_view_new()));
    g_object_set(playbin, "video-sink", lv::player::make_frame_sink(self->view), "audio-sink", audio, nullptr);
    gst_object_unref(audio);

    self->bus->owner = self;
    GstBus *bus = gst_element_get_bus(playbin);
    gst_bus_set_sync_handler(bus, on_bus_message, new std::shared_ptr<BusState>(self->bus), delete_bus_state);
    gst_object_unref(bus);
    gst_element_set_state(playbin, GST_STATE_READY);  // no item yet

    self->host_reference = self;
    return self.get();
}

void lv_player_destroy(lv_player *self) {
    if (!self) return;
    std::shared_ptr<LVMediaPlayer> keep = std::move(self->host_reference);
    if (self->player) {
        // Stopping joins the streaming threads: no bus message arrives after this.
        gst_element_set_state(self->player, GST_STATE_NULL);
        GstBus *bus = gst_element_get_bus(self->player);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
        gst_object_unref(self->player);
        self->player = nullptr;
    }
    // Seeks still pending were interrupted: their completions still arrive, on the main context.
    report_completed(take_all_seeks(*self->bus));
    if (self->view) {
        lv_player_view_show(self->view, nullptr, 0);
        g_clear_object(&self->view);
    }
}

GtkWidget *lv_player_view(lv_player *self) { return self && self->view ? GTK_WIDGET(self->view) : nullptr; }

void lv_player_load(lv_player *self, const char *path) {
    if (!self || !self->player) return;
    self->seekVersion += 1;
    self->seeking = false;
    self->playing = false;
    // Down to NULL: every streaming thread of the old item is joined, so no late message of
    // the old item reaches the new one.
    gst_element_set_state(self->player, GST_STATE_NULL);
    if (self->view) lv_player_view_show(self->view, nullptr, 0);

    GError *error = nullptr;
    gchar *uri = path ? gst_filename_to_uri(path, &error) : nullptr;
    std::vector<PendingSeek> interrupted;
    {
        std::lock_guard guard(self->bus->lock);
        interrupted = std::exchange(self->bus->seeks, {});
        self->bus->item += 1;
        self->bus->prerolled = false;
        self->bus->at_end = false;
        self->bus->failed = !uri;
        self->bus->error = error && error->message ? error->message : "";
    }
    report_completed(std::move(interrupted));
    g_clear_error(&error);
    self->has_item = uri != nullptr;
    if (!uri) return;
    g_object_set(self->player, "uri", uri, nullptr);
    g_free(uri);
    gst_element_set_state(self->player, GST_STATE_PAUSED);  // prepares the item: the preroll
}

void lv_player_play(lv_player *self, int32_t play) {
    if (!self || !self->player) return;
    self->playing = play != 0;
    // Without an item the pipeline stays in READY: there is nothing to start.
    if (self->has_item) gst_element_set_state(self->player, play ? GST_STATE_PLAYING : GST_STATE_PAUSED);
}

void lv_player_seek(lv_player *self, double seconds) {
    if (!self || !self->player) return;
    const std::uint64_t version = ++self->seekVersion;
    self->seeking = true;
    const double target = seconds > 0 ? seconds : 0;  // NaN compares false: 0
    const gint64 position = target >= double(G_MAXINT64 / GST_SECOND) ? G_MAXINT64 - 1
                                                                      : gint64(std::llround(target * GST_SECOND));
    GstEvent *seek = gst_event_new_seek(1.0, GST_FORMAT_TIME, GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                        GST_SEEK_TYPE_SET, position, GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
    const std::uint32_t seqnum = gst_event_get_seqnum(seek);
    {
        std::lock_guard guard(self->bus->lock);
        self->bus->at_end = false;
        self->bus->seeks.push_back({seqnum, version, self->shared_from_this()});
    }
    if (!gst_element_send_event(self->player, seek)) {
        // Refused (no item, or not seekable): it completes at once, unfinished.
        std::vector<PendingSeek> refused;
        {
            std::lock_guard guard(self->bus->lock);
            auto it = std::find_if(self->bus->seeks.begin(), self->bus->seeks.end(),
                                   [seqnum](const PendingSeek &s) { return s.seqnum == seqnum; });
            if (it != self->bus->seeks.end()) {
                refused.push_back(std::move(*it));
                self->bus->seeks.erase(it);
            }
        }
        report_completed(std::move(refused));
    }
}

int32_t lv_player_seeking(lv_player *self) { return self && self->seeking ? 1 : 0; }

void lv_player_volume(lv_player *self, float volume) {
    if (!self || !self->player || std::isnan(volume)) return;
    // playbin's volume property accepts 0 to 10; 1 is the source level.
    g_object_set(self->player, "volume", std::clamp(double(volume), 0.0, 10.0), nullptr);
}

int32_t lv_player_state(lv_player *self, double *position, double *duration, int32_t *playing,
                        char *message, int32_t capacity) {
    gint64 at = -1, length = -1;
    bool known_at = false, known_length = false, prerolled = false, failed = false, at_end = false;
    std::string error;
    if (self && self->player) {
        known_at = gst_element_query_position(self->player, GST_FORMAT_TIME, &at);
        known_length = gst_element_query_duration(self->player, GST_FORMAT_TIME, &length);
        std::lock_guard guard(self->bus->lock);
        prerolled = self->bus->prerolled;
        failed = self->bus->failed;
        at_end = self->bus->at_end;
        if (failed) error = self->bus->error;
    }
    // A state change can fail without an error message reaching the bus (a demuxer that finds
    // no stream at all): the pipeline's own last result says so.
    if (self && self->player && self->has_item && !prerolled && !failed &&
        gst_element_get_state(self->player, nullptr, nullptr, 0) == GST_STATE_CHANGE_FAILURE) {
        failed = true;
        std::lock_guard guard(self->bus->lock);
        error = self->bus->error;
    }
    if (position) *position = seconds_or_zero(known_at, at);
    if (duration) *duration = seconds_or_zero(known_length, length);
    if (playing) *playing = self && self->playing && !at_end ? 1 : 0;
    if (failed) {
        lv_copy_message(error.empty() ? kUnplayable : error.c_str(), message, capacity);
        return -1;
    }
    return prerolled ? 1 : 0;
}

}  // extern "C"
