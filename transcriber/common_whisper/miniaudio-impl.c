/* The one translation unit that compiles the audio decoders: miniaudio with its WAV, FLAC
 * and MP3 decoders, and Ogg Vorbis through stb_vorbis. Playback, recording, encoding and
 * the rest of miniaudio are left out. */
#define MA_NO_DEVICE_IO
#define MA_NO_THREADING
#define MA_NO_ENCODING
#define MA_NO_GENERATION
#define MA_NO_RESOURCE_MANAGER
#define MA_NO_NODE_GRAPH
#define MA_NO_ENGINE

/* stb_vorbis' declarations first, so that miniaudio enables its Vorbis decoder. */
#define STB_VORBIS_HEADER_ONLY
#include "stb_vorbis.c"
#undef STB_VORBIS_HEADER_ONLY

#define MINIAUDIO_IMPLEMENTATION
#include "miniaudio.h"

#include "stb_vorbis.c"
