/* The one translation unit that compiles the audio decoders: miniaudio with its WAV, FLAC
 * and MP3 decoders, and Ogg Vorbis through stb_vorbis. */
#include "miniaudio-options.h"

/* stb_vorbis' declarations first, so that miniaudio enables its Vorbis decoder. */
#define STB_VORBIS_HEADER_ONLY
#include "stb_vorbis.c"
#undef STB_VORBIS_HEADER_ONLY

#define MINIAUDIO_IMPLEMENTATION
#include "miniaudio.h"

#include "stb_vorbis.c"
