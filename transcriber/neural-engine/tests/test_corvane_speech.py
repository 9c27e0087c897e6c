"""End to end: LumivaneSpeech with the Corvane encoder add-on, through the stand-in dispatch
library, on test models. The stand-in appends one line per call it receives to the file
named by ANE_STANDIN_TRACE."""
import json
import os
import re
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests"))
from speechtest import TempDirTest, make_model, run, sine_wav  # noqa: E402

STANDIN = os.environ["ANE_STANDIN"]
SAMPLE_SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "tools",
                             "make-test-model", "sample.json")
SAMPLE_LIVE = ("\n[00:00:00.000 --> 00:00:02.600]   And so, my fellow Americans,\n"
               "[00:00:02.600 --> 00:00:06.400]   ask not what your country can do for you,\n"
               "[00:00:06.400 --> 00:00:09.800]   ask what you can do for your country.\n")
FAST = ["-bs", "1"]

# Engine shapes of the test models: 80 mel bands, 1500 audio frames, 64 features ("small").
N_MELS, N_CTX, N_STATE = 80, 1500, 64


def encoder_dir(path, n_ctx=N_CTX, n_state=N_STATE, out_count=None, features=None, ports=None, pos_feature=None):
    """An encoder directory whose program writes zeros, except for the feature lines given
    as {index: (mel_gain, pos_gain, bias)}. The positional values are 0, or 1 on every
    frame's `pos_feature`."""
    os.makedirs(path, exist_ok=True)
    out_count = n_state * n_ctx if out_count is None else out_count
    with open(os.path.join(path, "ports.txt"), "w") as f:
        f.write(ports if ports is not None else f"mel {2 * n_ctx * N_MELS}\npos {n_state * n_ctx}\nenc {out_count}\n")
    with open(os.path.join(path, "model.mil"), "w") as f:
        f.write(f"lumivane-affine 1\nframes {n_ctx}\nfeatures {out_count // n_ctx}\n")
        for index, (mel, pos, bias) in (features or {}).items():
            f.write(f"feature {index} {mel} {pos} {bias}\n")
    with open(os.path.join(path, "pos.f16"), "wb") as f:
        frame = [b"\0\0"] * n_state
        if pos_feature is not None:
            frame[pos_feature] = b"\x00\x3c"  # 1.0, little-endian
        f.write(b"".join(frame) * n_ctx)
    return path


def encode_runs(err):
    """The number of encodes the engine reports in its timings."""
    found = re.search(r"encode time = +[0-9.]+ ms / +(\d+) runs", err)
    return int(found.group(1)) if found else None


def trace_lines(path):
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return f.read().splitlines()


class CorvaneSpeech(TempDirTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        with open(SAMPLE_SCRIPT) as f:
            cls.model = make_model(cls.path("sample.bin"), json.load(f))
        cls.wav = sine_wav(cls.path("tone.wav"), seconds=10)
        cls.enc = encoder_dir(cls.path("enc"))

    def setUp(self):
        self.trace = self.path(f"trace-{self.id()}.txt")

    def speech(self, *args, encoder=None, dylib=STANDIN, extra_env=None):
        env = {"ANE_STANDIN_TRACE": self.trace}
        if encoder is not None:
            env["CORVANE_ENCODER"] = encoder
        if dylib is not None and encoder is not None:
            env["CORVANE_DYLIB"] = dylib
        env.update(extra_env or {})
        return run(["-m", self.model, *FAST, *args, self.wav], env=env)

    def test_off_the_engine_runs_its_own_encoder(self):
        r = self.speech()
        self.assertEqual(r.rc, 0, r)
        self.assertEqual(r.out_text, SAMPLE_LIVE)
        self.assertIn("whisper_init_state: compute buffer (encode) =", r.err_text)
        self.assertNotIn("corvane", r.err_text.lower())
        self.assertEqual(trace_lines(self.trace), [])

    def test_on_every_encode_goes_through_the_program(self):
        r = self.speech(encoder=self.enc)
        self.assertEqual(r.rc, 0, r)
        lines = [
            f"whisper_init_state: loading Corvane encoder from '{self.enc}'\n",
            "whisper_init_state: compiling for the ANE (one time) ...\n",
            "corvane: encoder ready (mel=mel pos=pos out=enc)\n",
            "whisper_init_state: Corvane encoder loaded\n",
        ]
        self.assertIn("".join(lines), r.err_text)
        self.assertNotIn("compute buffer (encode)", r.err_text)
        self.assertIn("compute buffer (conv)", r.err_text)
        self.assertIn("compute buffer (cross)", r.err_text)
        self.assertEqual(r.out_text, SAMPLE_LIVE)  # this model's words do not look at the audio

        trace = trace_lines(self.trace)
        executes = [line for line in trace if line.startswith("execute ")]
        self.assertEqual(len(executes), encode_runs(r.err_text))
        self.assertEqual(trace[0], "load")
        self.assertRegex(trace[1], rf"^compile p\d+ {re.escape(self.enc)}/model.mil {re.escape(self.enc)}/cache 4 "
                                   rf"mel:{2 * 2 * N_CTX * N_MELS} pos:{2 * N_STATE * N_CTX} enc:{2 * N_STATE * N_CTX}$")
        self.assertRegex(trace[2], rf"^set_input p\d+ pos {N_STATE * N_CTX}$")
        per_window = trace[3:-2]
        self.assertEqual(len(per_window), 3 * len(executes))
        for i in range(0, len(per_window), 3):
            self.assertRegex(per_window[i], rf"^set_input p\d+ mel {2 * N_CTX * N_MELS}$")
            self.assertRegex(per_window[i + 1], r"^execute p\d+$")
            self.assertRegex(per_window[i + 2], rf"^get_output p\d+ enc {N_STATE * N_CTX}$")
        self.assertRegex(trace[-2], r"^release p\d+$")
        self.assertEqual(trace[-1], "unload")

    def test_add_on_lines_survive_no_prints(self):
        r = self.speech("-np", encoder=self.enc)
        self.assertEqual(r.rc, 0, r)
        self.assertEqual(r.err_text, "corvane: encoder ready (mel=mel pos=pos out=enc)\n")

    def test_failed_loads_stop_with_status_3(self):
        bad_program = encoder_dir(self.path("bad-program"))
        with open(os.path.join(bad_program, "model.mil"), "w") as f:
            f.write("not a program\n")
        cases = [
            ("dylib unset", self.enc, None, "corvane: set CORVANE_DYLIB to libane_e5rt_dispatch.dylib\n"),
            ("missing symbol", self.enc, os.environ["ANE_STANDIN_WITHOUT_EXECUTE"],
             "corvane: missing dispatch symbols\n"),
            ("no ports.txt", self.path("nowhere"), STANDIN, f"corvane: no ports.txt in {self.path('nowhere')}\n"),
            ("two records", encoder_dir(self.path("two"), ports="mel 240000\npos 96000\n"), STANDIN, ""),
            ("compile failed", bad_program, STANDIN, "corvane: compile failed\n"),
            # A program whose output would not fit the engine's encoder output.
            ("output count", encoder_dir(self.path("wide"), out_count=N_STATE * N_CTX * 2), STANDIN,
             f"corvane: output size {N_STATE * N_CTX * 2} != {N_STATE * N_CTX}\n"),
        ]
        for name, encoder, dylib, message in cases:
            with self.subTest(name):
                r = self.speech(encoder=encoder, dylib=dylib)
                self.assertEqual(r.rc, 3, r)
                expected = (f"whisper_init_state: compiling for the ANE (one time) ...\n{message}"
                            f"whisper_init_state: failed to load Corvane encoder from '{encoder}'\n")
                self.assertIn(expected, r.err_text)
                self.assertIn("error: failed to initialize whisper context\n", r.err_text)
                self.assertNotIn("Corvane encoder loaded", r.err_text)
                self.assertEqual(r.out_text, "")

    def test_parallel_states_load_one_encoder_each(self):
        r = self.speech("-p", "2", encoder=self.enc)
        self.assertEqual(r.rc, 0, r)
        for line in ["whisper_init_state: loading Corvane encoder from", "corvane: encoder ready",
                     "whisper_init_state: Corvane encoder loaded\n"]:
            self.assertEqual(r.err_text.count(line), 2, line)
        trace = trace_lines(self.trace)
        compiled = {line.split()[1] for line in trace if line.startswith("compile ")}
        released = {line.split()[1] for line in trace if line.startswith("release ")}
        ran = {line.split()[1] for line in trace if line.startswith("execute ")}
        self.assertEqual(len(compiled), 2)
        self.assertEqual(released, compiled)
        self.assertEqual(ran, compiled)
        self.assertEqual(trace.count("load"), 1)   # one library, referenced twice
        self.assertEqual(trace[-1], "unload")

    def test_parallel_state_that_cannot_load_fails_the_input(self):
        # The device has room for one program: the second state's compile is refused.
        r = self.speech("-p", "2", encoder=self.enc, extra_env={"ANE_STANDIN_MAX_PROGRAMS": "1"})
        self.assertEqual(r.rc, 10, r)
        self.assertIn("corvane: compile failed\n"
                      f"whisper_init_state: failed to load Corvane encoder from '{self.enc}'\n"
                      "whisper_full_parallel: failed to create the state of processor 1\n", r.err_text)
        self.assertTrue(r.err_text.endswith(": failed to process audio\n"), r)
        trace = trace_lines(self.trace)
        self.assertEqual(len([line for line in trace if line.startswith("compile null")]), 1)
        self.assertEqual(len([line for line in trace if line.startswith("release ")]), 1)
        self.assertEqual(trace[-1], "unload")

    def test_reduced_audio_context_skips_every_window(self):
        long_wav = sine_wav(self.path("long.wav"), seconds=45)
        r = run(["-m", self.model, *FAST, "-ac", "750", long_wav],
                env={"ANE_STANDIN_TRACE": self.trace, "CORVANE_ENCODER": self.enc, "CORVANE_DYLIB": STANDIN})
        self.assertEqual(r.rc, 0, r)
        mismatches = r.err_text.count(f"corvane: mel size {2 * 750 * N_MELS} != {2 * N_CTX * N_MELS}\n")
        self.assertGreaterEqual(mismatches, 2)  # 45 s: at least two windows
        self.assertEqual(mismatches, encode_runs(r.err_text))
        self.assertIn("whisper_print_timings:", r.err_text)
        self.assertFalse([line for line in trace_lines(self.trace) if line.startswith("execute ")])

        # A directory built for the reduced context runs every window through its program.
        reduced = encoder_dir(self.path("enc750"), n_ctx=750)
        open(self.trace, "w").close()
        r = run(["-m", self.model, *FAST, "-ac", "750", long_wav],
                env={"ANE_STANDIN_TRACE": self.trace, "CORVANE_ENCODER": reduced, "CORVANE_DYLIB": STANDIN})
        self.assertEqual(r.rc, 0, r)
        self.assertNotIn("corvane: mel size", r.err_text)
        self.assertNotIn("corvane: output size", r.err_text)
        runs = len([line for line in trace_lines(self.trace) if line.startswith("execute ")])
        self.assertGreaterEqual(runs, 2)
        self.assertEqual(runs, encode_runs(r.err_text))


if __name__ == "__main__":
    unittest.main()
