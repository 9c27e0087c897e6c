// Video frames from the pipeline to the view. The frame sink is an appsink that takes RGBA
// frames on the streaming thread; only the newest frame is kept, and one step at a time is
// posted to the main context, where it becomes a GdkMemoryTexture shown by the view.
#pragma once

#include "player_view.h"

#include <gst/gst.h>

namespace lv::player {

// A new appsink feeding `view` (which may be null: frames are then dropped). The view is held
// weakly: frames arriving after it is gone touch nothing.
GstElement *make_frame_sink(LVPlayerView *view);

}  // namespace lv::player
