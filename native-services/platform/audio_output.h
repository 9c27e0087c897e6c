// The player's audio sink: the system's audio output when one can be opened, otherwise a null
// sink that keeps time like a device, so that a machine without sound still plays every item.
#pragma once

#include <gst/gst.h>

namespace lv::player {

GstElement *make_audio_sink();

}  // namespace lv::player
