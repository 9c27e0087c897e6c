#include "audio-input.h"

#include "diagnostics.h"
#include "miniaudio-config.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

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

std::vector<unsigned char> read_all_stdin() {
    std::vector<unsigned char> data;
    unsigned char chunk[1024];
    size_t n;
    while ((n = fread(chunk, 1, sizeof(chunk), stdin)) > 0) {
        data.insert(data.end(), chunk, chunk + n);
    }
    return data;
}

} // namespace

bool read_audio_from_decoder(ma_decoder * decoder, std::vector<float> & pcmf32,
                             std::vector<std::vector<float>> & pcmf32s, bool stereo) {
    ma_uint64 frame_count = 0;
    ma_result result = ma_decoder_get_length_in_pcm_frames(decoder, &frame_count);
    if (result != MA_SUCCESS) {
        fprintf(stderr, "error: failed to retrieve the length of the audio data (%s)\n", ma_result_description(result));
        return false;
    }

    const size_t channels = stereo ? 2 : 1;
    pcmf32.assign(frame_count * channels, 0.0f);

    ma_uint64 frames_read = 0;
    result = ma_decoder_read_pcm_frames(decoder, pcmf32.data(), frame_count, &frames_read);
    if (result != MA_SUCCESS && !(result == MA_AT_END && frame_count == 0)) {
        fprintf(stderr, "error: failed to read the frames of the audio data (%s)\n", ma_result_description(result));
        return false;
    }

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
    std::vector<unsigned char> stdin_data; // must outlive the decoder reading from it

    if (fname == "-") {
        stdin_data = read_all_stdin();
        const ma_result result = ma_decoder_init_memory(stdin_data.data(), stdin_data.size(), &config, &guard.decoder);
        if (result != MA_SUCCESS) {
            fprintf(stderr, "%s: failed to open audio data from stdin (%s)\n", step, ma_result_description(result));
            return false;
        }
        guard.initialized = true;
        diag_info("%s: read %zu bytes from stdin\n", step, stdin_data.size());
    } else {
        diag_info("%s: reading audio data from '%s' ...\n", step, fname.c_str());
        if (miniaudio_skipped()) {
            fprintf(stderr, "%s: skipping miniaudio\n", step);
            fprintf(stderr, "%s: failed to read audio data\n", step);
            return false;
        }
        diag_info("%s: trying to decode with miniaudio\n", step);
        if (ma_decoder_init_file(fname.c_str(), &config, &guard.decoder) != MA_SUCCESS) {
            fprintf(stderr, "%s: failed to read audio data\n", step);
            return false;
        }
        guard.initialized = true;
    }

    return read_audio_from_decoder(&guard.decoder, pcmf32, pcmf32s, stereo);
}
