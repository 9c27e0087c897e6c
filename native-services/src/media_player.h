// LVMediaPlayer: one player over a GStreamer playbin, with the view that shows its video and
// the seek flag guarded by a version counter.
//
// Threads: every member is used on the main thread only, except `bus`, which the bus handler
// reads and writes on GStreamer's threads under its own lock.
#pragma once

#include "../platform/player_view.h"

#include <gst/gst.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct LVMediaPlayer;

namespace lv::player {

// A seek whose completion has not been reported yet: it holds the player and its version.
struct PendingSeek {
    std::uint32_t seqnum;
    std::uint64_t version;
    std::shared_ptr<LVMediaPlayer> player;
};

// What the pipeline's bus has told about the current item.
struct BusState {
    std::mutex lock;
    std::uint64_t item = 0;         // raised by each load; steps for older items are dropped
    bool prerolled = false;         // the item has completed its first preroll
    bool failed = false;
    std::string error;              // the first error's text
    bool at_end = false;            // end of stream reached, not yet left by a seek or load
    std::vector<PendingSeek> seeks; // in request order
    std::weak_ptr<LVMediaPlayer> owner;
};

}  // namespace lv::player

struct LVMediaPlayer : std::enable_shared_from_this<LVMediaPlayer> {
    bool seeking = false;
    GstElement *player = nullptr;  // the playbin, strong; null once destroyed
    LVPlayerView *view = nullptr;  // strong; null when no display could be opened
    std::uint64_t seekVersion = 0;

    bool has_item = false;  // a file was handed to the pipeline
    bool playing = false;  // the host asked to play and the end has not been reached since
    std::shared_ptr<LVMediaPlayer> host_reference;  // the handle's reference
    std::shared_ptr<lv::player::BusState> bus = std::make_shared<lv::player::BusState>();
};
