#include "video_frames.h"

#include <main_queue.h>

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <memory>
#include <mutex>

namespace lv::player {
namespace {

struct FrameFeed {
    GWeakRef view;
    std::mutex lock;
    GstSample *newest = nullptr;  // guarded by lock
    bool step_posted = false;     // guarded by lock

    explicit FrameFeed(LVPlayerView *target) { g_weak_ref_init(&view, target); }
    ~FrameFeed() {
        g_weak_ref_clear(&view);
        if (newest) gst_sample_unref(newest);
    }
};

using FeedRef = std::shared_ptr<FrameFeed>;

// The frame's pixels stay in the buffer; the texture's bytes unmap and release it.
struct MappedFrame {
    GstVideoFrame frame;
};

void release_mapped(gpointer data) {
    auto *mapped = static_cast<MappedFrame *>(data);
    gst_video_frame_unmap(&mapped->frame);
    delete mapped;
}

// A texture of the sample's RGBA frame, and its display aspect ratio; null when unusable.
GdkTexture *texture_of(GstSample *sample, double *aspect) {
    GstVideoInfo info;
    GstBuffer *buffer = gst_sample_get_buffer(sample);
    if (!buffer || !gst_video_info_from_caps(&info, gst_sample_get_caps(sample))) return nullptr;
    auto *mapped = new MappedFrame;
    if (!gst_video_frame_map(&mapped->frame, &info, buffer, GST_MAP_READ)) {
        delete mapped;
        return nullptr;
    }
    const int width = GST_VIDEO_FRAME_WIDTH(&mapped->frame), height = GST_VIDEO_FRAME_HEIGHT(&mapped->frame);
    const gsize stride = GST_VIDEO_FRAME_PLANE_STRIDE(&mapped->frame, 0);
    GBytes *bytes = g_bytes_new_with_free_func(GST_VIDEO_FRAME_PLANE_DATA(&mapped->frame, 0),
                                               stride * gsize(height), release_mapped, mapped);
    GdkTexture *texture = gdk_memory_texture_new(width, height, GDK_MEMORY_R8G8B8A8, bytes, stride);
    g_bytes_unref(bytes);
    const double par = info.par_d > 0 && info.par_n > 0 ? double(info.par_n) / info.par_d : 1.0;
    *aspect = height > 0 ? width * par / height : 0;
    return texture;
}

void show_newest(const FeedRef &feed) {
    GstSample *sample;
    {
        std::lock_guard guard(feed->lock);
        sample = feed->newest;
        feed->newest = nullptr;
        feed->step_posted = false;
    }
    if (!sample) return;
    if (auto *view = static_cast<LVPlayerView *>(g_weak_ref_get(&feed->view))) {
        double aspect = 0;
        if (GdkTexture *texture = texture_of(sample, &aspect)) {
            lv_player_view_show(view, texture, aspect);
            g_object_unref(texture);
        }
        g_object_unref(view);
    }
    gst_sample_unref(sample);
}

GstFlowReturn keep_newest(GstSample *sample, gpointer data) {
    const FeedRef &feed = *static_cast<FeedRef *>(data);
    if (!sample) return GST_FLOW_OK;
    bool post;
    {
        std::lock_guard guard(feed->lock);
        if (feed->newest) gst_sample_unref(feed->newest);
        feed->newest = sample;
        post = !feed->step_posted;
        feed->step_posted = true;
    }
    if (post) desktop::post_to_main([feed] { show_newest(feed); });
    return GST_FLOW_OK;
}

// The preroll frame is what a paused item shows (after a load or a seek); the others play.
GstFlowReturn on_new_preroll(GstAppSink *sink, gpointer data) { return keep_newest(gst_app_sink_pull_preroll(sink), data); }
GstFlowReturn on_new_sample(GstAppSink *sink, gpointer data) { return keep_newest(gst_app_sink_pull_sample(sink), data); }

void delete_feed(gpointer data) { delete static_cast<FeedRef *>(data); }

}  // namespace

GstElement *make_frame_sink(LVPlayerView *view) {
    GstElement *sink = gst_element_factory_make("appsink", "frames");
    if (!sink) return nullptr;
    GstCaps *caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "RGBA", nullptr);
    g_object_set(sink, "caps", caps, "max-buffers", 1u, "drop", TRUE, "enable-last-sample", FALSE, nullptr);
    gst_caps_unref(caps);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_preroll = on_new_preroll;
    callbacks.new_sample = on_new_sample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, new FeedRef(std::make_shared<FrameFeed>(view)),
                               delete_feed);
    return sink;
}

}  // namespace lv::player
