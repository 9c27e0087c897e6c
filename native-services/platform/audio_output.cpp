#include "audio_output.h"

namespace lv::player {

GstElement *make_audio_sink() {
    if (GstElement *device = gst_element_factory_make("autoaudiosink", nullptr)) {
        gst_object_ref_sink(device);
        // Opening the device is what reaching READY does; leave it there for the pipeline.
        if (gst_element_set_state(device, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE) return device;
        gst_element_set_state(device, GST_STATE_NULL);
        gst_object_unref(device);
    }
    GstElement *null_sink = gst_element_factory_make("fakeaudiosink", nullptr);
    if (null_sink) gst_object_ref_sink(null_sink);
    return null_sink;
}

}  // namespace lv::player
