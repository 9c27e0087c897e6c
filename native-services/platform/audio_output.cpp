#include "audio_output.h"

#include <string>

namespace lv::player {
namespace {

// The factory of the element autoaudiosink settles on, probed once: probing opens every
// candidate device, which is slow and noisy to repeat for each player. Empty: no device.
std::string probe_device_factory() {
    GstElement *probe = gst_element_factory_make("autoaudiosink", nullptr);
    if (!probe) return {};
    gst_object_ref_sink(probe);
    std::string name;
    if (gst_element_set_state(probe, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE && GST_IS_BIN(probe)) {
        GstIterator *children = gst_bin_iterate_sinks(GST_BIN(probe));
        GValue child = G_VALUE_INIT;
        if (gst_iterator_next(children, &child) == GST_ITERATOR_OK) {
            GstElementFactory *factory = gst_element_get_factory(GST_ELEMENT(g_value_get_object(&child)));
            if (factory) name = GST_OBJECT_NAME(factory);
            g_value_unset(&child);
        }
        gst_iterator_free(children);
    }
    gst_element_set_state(probe, GST_STATE_NULL);
    gst_object_unref(probe);
    // autoaudiosink's own last resort is a fakesink that does not act as an audio device.
    return name == "fakesink" ? std::string() : name;
}

}  // namespace

GstElement *make_audio_sink() {
    static const std::string device = probe_device_factory();
    GstElement *sink = device.empty() ? nullptr : gst_element_factory_make(device.c_str(), nullptr);
    if (!sink) sink = gst_element_factory_make("fakeaudiosink", nullptr);  // keeps time like a device
    if (sink) gst_object_ref_sink(sink);
    return sink;
}

}  // namespace lv::player
