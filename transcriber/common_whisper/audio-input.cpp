#include "audio-input.h"

#include "diagnostics.h"
#include "miniaudio-config.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace {

constexpr int kSampleRate = 16000; // the engine's sample rate

// Releases the decoder on every path once it was opened.
struct decoder_guard {
    ma_decoder decoder{};
    bool initialized = false;

    decoder_guard() = default;
    decoder_guard(const decoder_guard &) = delete;
    decoder_guard & operator=(const decoder_guard &) = delete;
    ~decoder_guard() {
        if (initialized) {
            ma_decoder_uninit(&decoder);
        }
    }
};

bool miniaudio_skipped() {
    const char * skip = getenv("WHISPER_COMMON_MINIAUDIO_SKIP");
    return skip && skip[0] != '\0' && strcmp(skip, "0") != 0;
}

std::vector<unsigned char> read_all(FILE * in) {
    std::vector<unsigned char> data;
    unsigned char chunk[1024];
    size_t n;
    while ((n = fread(chunk, 1, sizeof(chunk), in)) > 0) {
        data.insert(data.end(), chunk, chunk + n);
    }
    return data;
}

// Named pipes, sockets and devices can be read only once, front to back, so they are
// read whole into memory like standard input instead of being handed to the decoder.
bool is_stream(const std::string & path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

uint64_t file_size(const std::string & path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 ? uint64_t(st.st_size) : 0;
}

// No real coding packs more source frames than this into one byte (FLAC's constant frames,
// the densest, hold a few thousand); a stated length beyond it comes from damaged data.
constexpr uint64_t kMaxFramesPerByte = 65536;

// Frames are read in blocks of a second: the stated length sizes nothing, and a damaged
// file may deliver fewer frames than it states.
constexpr ma_uint64 kBlockFrames = kSampleRate;

// Up to this many frames are reserved ahead from the stated length (ten minutes).
constexpr ma_uint64 kMaxReservedFrames = 600 * ma_uint64(kSampleRate);

} // namespace

bool read_audio_from_decoder(ma_decoder * decoder, std::vector<float> & pcmf32,
                             std::vector<std::vector<float>> & pcmf32s, bool stereo, uint64_t source_bytes) {
    ma_uint64 frame_count = 0;
    ma_result result = ma_decoder_get_length_in_pcm_frames(decoder, &frame_count);
    if (result != MA_SUCCESS) {
        fprintf(stderr, "error: failed to retrieve the length of the audio data (%s)\n", ma_result_description(result));
        return false;
    }
    ma_uint64 source_frames = 0;
    if (ma_data_source_get_length_in_pcm_frames(decoder->pBackend, &source_frames) == MA_SUCCESS &&
        source_frames / kMaxFramesPerByte > source_bytes) {
        fprintf(stderr, "error: the audio data cannot hold its stated length (%llu frames in %llu bytes)\n",
                (unsigned long long) source_frames, (unsigned long long) source_bytes);
        return false;
    }

    const size_t channels = stereo ? 2 : 1;
    pcmf32.clear();
    pcmf32.reserve(size_t(std::min(frame_count, kMaxReservedFrames)) * channels);
    ma_uint64 frames_total = 0;
    for (;;) {
        pcmf32.resize(size_t(frames_total + kBlockFrames) * channels);
        ma_uint64 frames_read = 0;
        result = ma_decoder_read_pcm_frames(decoder, pcmf32.data() + frames_total * channels, kBlockFrames, &frames_read);
        frames_total += frames_read;
        pcmf32.resize(size_t(frames_total) * channels);
        if (result == MA_AT_END || (result == MA_SUCCESS && frames_read == 0)) {
            break;
        }
        if (result != MA_SUCCESS) {
            fprintf(stderr, "error: failed to read the frames of the audio data (%s)\n", ma_result_description(result));
            return false;
        }
    }
    frame_count = frames_total;

    if (!stereo) {
        return true;
    }

    const std::vector<float> interleaved = pcmf32;
    pcmf32.resize(frame_count);
    pcmf32s.resize(2);
    pcmf32s[0].resize(frame_count);
    pcmf32s[1].resize(frame_count);
    for (ma_uint64 i = 0; i < frame_count; i++) {
        const float left = interleaved[2 * i];
        const float right = interleaved[2 * i + 1];
        pcmf32[i] = left + right;
        pcmf32s[0][i] = left;
        pcmf32s[1][i] = right;
    }
    return true;
}

bool read_audio_data(const std::string & fname, std::vector<float> & pcmf32,
                     std::vector<std::vector<float>> & pcmf32s, bool stereo) {
    const char * step = "read_audio_data";
    const ma_decoder_config config = ma_decoder_config_init(ma_format_f32, stereo ? 2 : 1, kSampleRate);

    decoder_guard guard;

    std::vector<unsigned char> stream_data; // must outlive the decoder reading from it
    uint64_t source_bytes = 0;

    if (fname == "-") {
        stream_data = read_all(stdin);
        const ma_result result = ma_decoder_init_memory(stream_data.data(), stream_data.size(), &config, &guard.decoder);
        if (result != MA_SUCCESS) {
            fprintf(stderr, "%s: failed to open audio data from stdin (%s)\n", step, ma_result_description(result));
            return false;
        }
        guard.initialized = true;
        source_bytes = stream_data.size();
        diag_info("%s: read %zu bytes from stdin\n", step, stream_data.size());
    } else {
        diag_info("%s: reading audio data from '%s' ...\n", step, fname.c_str());
        if (miniaudio_skipped()) {
            fprintf(stderr, "%s: skipping miniaudio\n", step);
            fprintf(stderr, "%s: failed to read audio data\n", step);
            return false;
        }
        diag_info("%s: trying to decode with miniaudio\n", step);
        ma_result result = MA_ERROR;
        if (is_stream(fname)) {
            if (FILE * in = fopen(fname.c_str(), "rb")) {
                stream_data = read_all(in);
                fclose(in);
                source_bytes = stream_data.size();
                result = ma_decoder_init_memory(stream_data.data(), stream_data.size(), &config, &guard.decoder);
            }
        } else {
            source_bytes = file_size(fname);
            result = ma_decoder_init_file(fname.c_str(), &config, &guard.decoder);
        }
        if (result != MA_SUCCESS) {
            fprintf(stderr, "%s: failed to read audio data\n", step);
            return false;
        }
        guard.initialized = true;
    }

    return read_audio_from_decoder(&guard.decoder, pcmf32, pcmf32s, stereo, source_bytes);
}
