"""End to end: LumivaneSpeech transcribes real audio files with deterministic test models."""
import os
import re
import subprocess
import unittest

from speechtest import (SPEECH, TempDirTest, convert, make_model, read_bytes, read_text, run, speech_wav,
                        stereo_levels_wav)

# Three segments with quotes, a tab, a backslash and a two-byte character split over tokens.
BASIC = {"segments": [
    {"t0": 0, "t1": 150, "tokens": [" Hello", ",", " \"quoted\"", " world"]},
    {"t0": 150, "t1": 420, "tokens": ["\t", "tab", " and", " back", "\\", "slash"]},
    {"t0": 420, "t1": 800, "tokens": [" caf", {"hex": "c3"}, {"hex": "a9"}, " it's", " done", "."]},
]}
TEXTS = [" Hello, \"quoted\" world", "\ttab and back\\slash", " café it's done."]
LIVE = ("\n[00:00:00.000 --> 00:00:01.500]   Hello, \"quoted\" world\n"
        "[00:00:01.500 --> 00:00:04.200]  \ttab and back\\slash\n"
        "[00:00:04.200 --> 00:00:08.000]   café it's done.\n")

FAST = ["-bs", "1"]  # greedy decoding: the same transcript, in a fraction of the time


def processing_samples(err):
    return [int(n) for n in re.findall(r"main: processing '.*?' \((\d+) samples", err)]


class Transcribe(TempDirTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.model = make_model(cls.path("basic.bin"), BASIC)
        cls.speech = speech_wav(cls.path("speech.wav"), "hello quoted world, tab and backslash, cafe it's done")
        cls.wav = cls.path("input.wav")
        subprocess.run(["sox", cls.speech, cls.wav, "pad", "0", "3"], check=True)  # about 8.5 s
        cls.ml_model = make_model(cls.path("multi.bin"), dict(BASIC, multilingual=True))

    def speech_run(self, *args, **kw):
        return run(["-m", kw.pop("model", self.model), *args], **kw)

    def test_live_transcript_beam_and_greedy(self):
        for extra in [[], FAST]:
            with self.subTest(extra=extra):
                r = self.speech_run(*extra, self.wav)
                self.assertEqual(r.rc, 0, r)
                self.assertEqual(r.out_text, LIVE)
                beams = "5 beams" if not extra else "1 beams"
                self.assertIn(f"main: processing '{self.wav}' (", r.err_text)
                self.assertIn(f"2 threads, 1 processors, {beams} + best of 5, lang = en, task = transcribe, "
                              "timestamps = 1 ...\n" if os.cpu_count() >= 2 else "", r.err_text)
                self.assertIn("whisper_print_timings:    total time", r.err_text)

    def test_every_container_and_standard_input(self):
        wav44 = convert(self.wav, self.path("in44.wav"), "-ar", "44100", "-ac", "2")
        inputs = [self.wav, wav44,
                  convert(wav44, self.path("in.mp3")),
                  convert(wav44, self.path("in.flac")),
                  convert(wav44, self.path("in.ogg"), "-c:a", "libvorbis")]
        from speechtest import AUDIO_PROBE
        for path in inputs:
            with self.subTest(path=os.path.basename(path)):
                r = self.speech_run(*FAST, path)
                self.assertEqual(r.rc, 0, r)
                self.assertEqual(r.out_text, LIVE)
                probe = subprocess.run([AUDIO_PROBE, path], capture_output=True).stdout.decode()
                self.assertEqual(processing_samples(r.err_text), [int(re.search(r"samples=(\d+)", probe)[1])])
        # Standard input without -of is also the output base "-": the transcript file goes
        # to standard output and nothing is printed live.
        r = self.speech_run(*FAST, "-otxt", "-", stdin=read_bytes(inputs[3]))
        self.assertEqual(r.rc, 0, r)
        self.assertEqual(r.out_text, "".join(t.lstrip(" \t") + "\n" for t in TEXTS))
        self.assertIn("main: processing '-' (", r.err_text)
        r = self.speech_run(*FAST, "-", stdin=read_bytes(inputs[0]))
        self.assertEqual(r.out, b"")
        self.assertIn("warning: '--output-file -' used without any other '--output-*'", r.err_text)

    def test_missing_and_unreadable_inputs_count_as_failed(self):
        garbage = self.write("garbage.wav", b"\x00\x01 not audio " * 500)
        r = self.speech_run(*FAST, self.path("missing.wav"), garbage, self.wav)
        self.assertEqual(r.rc, 11, r)
        self.assertEqual(r.out_text, LIVE)
        self.assertIn(f"error: failed to read audio file '{garbage}'\n", r.err_text)
        self.assertTrue(r.err_text.endswith("error: 2 input file(s) failed\n"), r)
        timings = r.err_text.index("whisper_print_timings")
        self.assertLess(timings, r.err_text.index("error: 2 input file(s) failed"))

    def test_empty_standard_input_and_skip_variable(self):
        r = self.speech_run(*FAST, "-", stdin=b"")
        self.assertEqual(r.rc, 11, r)
        self.assertRegex(r.err_text, r"read_audio_data: failed to open audio data from stdin \(.+\)\n"
                                     r"error: failed to read audio file '-'\n")
        r = self.speech_run(*FAST, self.wav, env={"WHISPER_COMMON_MINIAUDIO_SKIP": "1"})
        self.assertEqual(r.rc, 11, r)
        self.assertIn("read_audio_data: skipping miniaudio\n", r.err_text)

    def test_output_bases_pair_with_surviving_inputs(self):
        a, b = self.path("A"), self.path("B")
        r = self.speech_run(*FAST, "-otxt", self.path("x.wav"), self.wav, "-of", a, "-of", b)
        self.assertEqual(r.rc, 11, r)
        self.assertEqual(read_text(a + ".txt"), "".join(t.lstrip(" \t") + "\n" for t in TEXTS))
        self.assertFalse(os.path.exists(b + ".txt"))

    def test_not_multilingual_warning_once(self):
        second = self.path("second.wav")
        subprocess.run(["cp", self.wav, second], check=True)
        r = self.speech_run(*FAST, "-l", "de", "-tr", self.wav, second)
        self.assertEqual(r.rc, 0, r)
        warning = "main: WARNING: model is not multilingual, ignoring language and translation options\n"
        self.assertEqual(r.err_text.count(warning), 1)
        self.assertEqual(r.err_text.count("lang = en, task = transcribe"), 2)
        self.assertEqual(r.out_text, LIVE + LIVE)

    def test_multilingual_model(self):
        r = self.speech_run(*FAST, "-l", "de", self.wav, model=self.ml_model)
        self.assertEqual(r.rc, 0, r)
        self.assertEqual(r.out_text, LIVE)
        self.assertIn("lang = de, task = transcribe", r.err_text)
        self.assertNotIn("WARNING", r.err_text)

    def test_detect_language_writes_empty_outputs(self):
        base = self.path("detect")
        r = self.speech_run(*FAST, "-dl", "-otxt", "-ovtt", "-of", base, self.wav, model=self.ml_model)
        self.assertEqual(r.rc, 0, r)
        self.assertIn("lang = auto", r.err_text)
        self.assertEqual(read_text(base + ".txt"), "")
        self.assertEqual(read_text(base + ".vtt"), "WEBVTT\n\n")

    def test_no_prints(self):
        r = self.speech_run(*FAST, "-np", self.wav)
        self.assertEqual(r.rc, 0, r)
        self.assertEqual(r.out_text, LIVE)
        self.assertEqual(r.err_text, "")
        r = self.speech_run(*FAST, "-np", "-l", "de", self.path("gone.wav"), self.wav)
        self.assertEqual(r.rc, 11)
        self.assertEqual(r.err_text, f"error: input file not found '{self.path('gone.wav')}'\n"
                                     "main: WARNING: model is not multilingual, ignoring language and translation options\n"
                                     "error: 1 input file(s) failed\n")

    def test_engine_failure_stops_the_run(self):
        # The engine runs at most 8 decoders: best-of 9 makes it fail.
        r = self.speech_run("-bs", "1", "-bo", "9", self.wav, self.wav)
        self.assertEqual(r.rc, 10, r)
        self.assertTrue(r.err_text.endswith(f"{SPEECH}: failed to process audio\n"), r)
        self.assertNotIn("whisper_print_timings", r.err_text)
        self.assertEqual(r.err_text.count("main: processing"), 1)

    def test_parallel_processors(self):
        r = self.speech_run(*FAST, "-p", "2", self.wav)
        self.assertEqual(r.rc, 0, r)
        self.assertIn("2 processors", r.err_text)
        self.assertIn("Hello", r.out_text)

    def test_model_loaded_once_for_many_inputs(self):
        r = self.speech_run(*FAST, self.wav, self.wav, self.wav)
        self.assertEqual(r.rc, 0, r)
        self.assertEqual(r.err_text.count("whisper_init_from_file_with_params_no_state"), 1)
        self.assertEqual(r.out_text, LIVE * 3)


if __name__ == "__main__":
    unittest.main()
