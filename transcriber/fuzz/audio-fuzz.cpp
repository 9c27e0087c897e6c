// libFuzzer target over audio decoding: read_audio_data on arbitrary file bytes. The first
// byte chooses mono or stereo mode; the rest is the file, held in a memory file that is
// reached by its /proc path.
#include "audio-input.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * data, size_t size) {
    static const int fd = memfd_create("audio", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (size == 0) {
        return 0;
    }
    const bool stereo = data[0] & 1;
    if (ftruncate(fd, 0) != 0 || (size > 1 && pwrite(fd, data + 1, size - 1, 0) != (ssize_t) (size - 1))) {
        abort();
    }
    std::vector<float> mono;
    std::vector<std::vector<float>> channels;
    if (read_audio_data(path, mono, channels, stereo) && stereo) {
        if (channels.size() != 2 || channels[0].size() != mono.size() || channels[1].size() != mono.size()) {
            abort();
        }
    }
    return 0;
}
