/* The parts of miniaudio the transcriber leaves out: playback, recording, encoding and the
 * rest. Shared by the decoder translation unit and every user of the header, so that all
 * of them see the same declarations. */
#pragma once

#define MA_NO_DEVICE_IO
#define MA_NO_THREADING
#define MA_NO_ENCODING
#define MA_NO_GENERATION
#define MA_NO_RESOURCE_MANAGER
#define MA_NO_NODE_GRAPH
#define MA_NO_ENGINE
