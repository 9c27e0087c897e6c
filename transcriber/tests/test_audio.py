"""Audio input: every container, resampling, the stereo split, standard input and bad data."""
import re
import subprocess
import unittest

from speechtest import AUDIO_PROBE, TempDirTest, convert, read_bytes, sine_wav, speech_wav, stereo_levels_wav


def probe(path, stereo=False, stdin=None, env=None):
    import os
    full_env = dict(os.environ)
    full_env.pop("WHISPER_COMMON_MINIAUDIO_SKIP", None)
    full_env.update(env or {})
    args = [AUDIO_PROBE] + (["--stereo"] if stereo else []) + [path]
    proc = subprocess.run(args, input=stdin if stdin is not None else b"", capture_output=True, env=full_env)
    out = proc.stdout.decode()
    m = re.match(r"ok samples=(\d+) channels=(\d+) mono_mean=(\S+) left_mean=(\S+) right_mean=(\S+)", out)
    result = None
    if m:
        result = {"samples": int(m[1]), "channels": int(m[2]), "mono": float(m[3]),
                  "left": float(m[4]), "right": float(m[5])}
    return result, proc.stderr.decode()


def ogg_crc(page):
    crc = 0
    for byte in page:
        crc ^= byte << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7 if crc & 0x80000000 else crc << 1) & 0xFFFFFFFF
    return crc


class Containers(TempDirTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.speech = speech_wav(cls.path("speech.wav"))
        cls.speech_seconds = int(subprocess.check_output(["soxi", "-s", cls.speech])) / 16000

    def test_wav_at_16k_is_sample_exact(self):
        wav = sine_wav(self.path("a16.wav"), seconds=2.0)
        r, _ = probe(wav)
        self.assertEqual(r["samples"], 32000)
        self.assertEqual(r["channels"], 0)

    def test_wav_at_44k_is_resampled(self):
        for seconds, expected in [(1.5, 24000), (2.0, 32000)]:
            wav = sine_wav(self.path(f"a44-{seconds}.wav"), seconds=seconds, rate=44100)
            r, _ = probe(wav)
            self.assertEqual(r["samples"], expected)
        wav = sine_wav(self.path("odd.wav"), seconds=1.234, rate=44100)
        frames = int(subprocess.check_output(["soxi", "-s", wav]))
        r, _ = probe(wav)
        self.assertIn(r["samples"], {frames * 16000 // 44100, -(-frames * 16000 // 44100)})

    def test_compressed_formats(self):
        for ext, args in [("mp3", ["-ar", "44100", "-ac", "2", "-b:a", "128k"]),
                          ("flac", ["-ar", "44100", "-ac", "2"]),
                          ("ogg", ["-ar", "44100", "-ac", "2", "-c:a", "libvorbis"]),
                          ("wav", ["-ar", "22050", "-ac", "2", "-c:a", "pcm_f32le"])]:
            with self.subTest(ext=ext):
                path = convert(self.speech, self.path(f"speech-converted.{ext}"), *args)
                r, err = probe(path)
                self.assertIsNotNone(r, err)
                # MP3 and Vorbis add encoder delay and padding: allow 60 ms.
                self.assertAlmostEqual(r["samples"] / 16000, self.speech_seconds, delta=0.06)
                self.assertIn("read_audio_data: trying to decode with miniaudio", err)

    def test_standard_input(self):
        data = read_bytes(convert(self.speech, self.path("stdin.flac")))
        r, err = probe("-", stdin=data)
        self.assertAlmostEqual(r["samples"] / 16000, self.speech_seconds, delta=0.01)
        self.assertIn(f"read_audio_data: read {len(data)} bytes from stdin\n", err)
        self.assertNotIn("reading audio data", err)

    def test_empty_standard_input(self):
        r, err = probe("-", stdin=b"")
        self.assertIsNone(r)
        self.assertRegex(err, r"^read_audio_data: failed to open audio data from stdin \(.+\)\n$")


class StereoSplit(TempDirTest):
    def test_channels_are_summed_and_split(self):
        wav = stereo_levels_wav(self.path("levels.wav"), 0.5, 0.25)
        r, _ = probe(wav, stereo=True)
        self.assertEqual(r["channels"], 2)
        self.assertEqual(r["samples"], 16000)
        self.assertAlmostEqual(r["mono"], 0.75, places=5)
        self.assertAlmostEqual(r["left"], 0.5, places=5)
        self.assertAlmostEqual(r["right"], 0.25, places=5)

    def test_two_channels_in_mono_mode_are_mixed(self):
        wav = stereo_levels_wav(self.path("levels2.wav"), 0.5, 0.25)
        r, _ = probe(wav)
        self.assertEqual(r["channels"], 0)
        self.assertEqual(r["samples"], 16000)
        self.assertAlmostEqual(r["mono"], 0.375, places=5)

    def test_one_channel_in_stereo_mode_fills_both(self):
        wav = stereo_levels_wav(self.path("levels3.wav"), 0.5, 0.5)
        mono = self.path("mono.wav")
        subprocess.run(["sox", wav, "-c", "1", mono, "remix", "1"], check=True)
        r, _ = probe(mono, stereo=True)
        self.assertEqual(r["channels"], 2)
        self.assertAlmostEqual(r["left"], r["right"], places=6)
        self.assertAlmostEqual(r["mono"], r["left"] + r["right"], places=5)


class BadInput(TempDirTest):
    def test_skip_variable(self):
        wav = sine_wav(self.path("t.wav"), seconds=0.5)
        for value, skipped in [("0", False), ("", False), ("1", True), ("00", True), ("no", True),
                               (" ", True), ("false", True)]:
            with self.subTest(value=value):
                r, err = probe(wav, env={"WHISPER_COMMON_MINIAUDIO_SKIP": value})
                if skipped:
                    self.assertIsNone(r)
                    self.assertEqual(err, f"read_audio_data: reading audio data from '{wav}' ...\n"
                                          "read_audio_data: skipping miniaudio\n"
                                          "read_audio_data: failed to read audio data\n")
                else:
                    self.assertEqual(r["samples"], 8000)
        r, _ = probe("-", stdin=read_bytes(wav), env={"WHISPER_COMMON_MINIAUDIO_SKIP": "1"})
        self.assertEqual(r["samples"], 8000)

    def test_garbage_and_empty_files_fail_cleanly(self):
        for name, data in [("noise.wav", bytes(range(256)) * 40), ("empty.mp3", b""),
                           ("text.flac", b"fLaC but not really"), ("riff.wav", b"RIFF\x10\x00\x00\x00WAVE")]:
            with self.subTest(name=name):
                r, err = probe(self.write(name, data))
                self.assertIsNone(r)
                self.assertTrue(err.endswith("read_audio_data: failed to read audio data\n"), err)

    def test_truncated_wav_keeps_what_is_there(self):
        wav = sine_wav(self.path("full.wav"), seconds=1.0)
        data = read_bytes(wav)
        cut = self.write("cut.wav", data[: 44 + 8000])  # header + 4000 of 16000 frames
        r, err = probe(cut)
        self.assertIsNotNone(r, err)
        self.assertEqual(r["samples"], 4000)

    def test_stated_lengths_the_data_cannot_hold(self):
        src = sine_wav(self.path("short.wav"), seconds=0.5)
        flac = bytearray(read_bytes(convert(src, self.path("short.flac"))))
        flac[21] |= 0x0F  # STREAMINFO total samples: 2^36 - 1
        flac[22:26] = b"\xff" * 4
        ogg = bytearray(read_bytes(convert(src, self.path("short.ogg"))))
        last = ogg.rfind(b"OggS")
        ogg[last + 6:last + 14] = (1 << 40).to_bytes(8, "little")  # last granule position
        ogg[last + 22:last + 26] = b"\0" * 4
        ogg[last + 22:last + 26] = ogg_crc(bytes(ogg[last:])).to_bytes(4, "little")
        for name, data in [("big.flac", flac), ("big.ogg", ogg)]:
            with self.subTest(name=name):
                r, err = probe(self.write(name, bytes(data)))
                self.assertIsNone(r, err)
                self.assertIn("error: the audio data cannot hold its stated length (", err)

    def test_truncated_compressed_files_do_not_crash(self):
        src = sine_wav(self.path("tone.wav"), seconds=2.0)
        for ext in ["mp3", "flac", "ogg"]:
            with self.subTest(ext=ext):
                data = read_bytes(convert(src, self.path(f"tone.{ext}")))
                cut = self.write(f"cut.{ext}", data[: len(data) // 2])
                r, err = probe(cut)
                if r is not None:
                    self.assertLessEqual(r["samples"], 32000 + 2000)
                else:
                    self.assertIn("failed", err)


if __name__ == "__main__":
    unittest.main()
