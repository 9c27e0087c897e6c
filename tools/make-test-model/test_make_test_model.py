#!/usr/bin/env python3
"""Models written by lumivane-make-test-model, run through the real engine.

usage: test_make_test_model.py MAKE_TOOL PROBE SAMPLE_JSON

Each case writes a model from a script, makes audio with sox, runs the engine through
lumivane-model-probe with chosen decode settings and compares segments (times, text,
speaker turns), token probabilities and detected language with what the script says.
"""
import concurrent.futures
import json
import os
import subprocess
import sys
import tempfile
import unittest

MAKE, PROBE, SAMPLE = sys.argv[1:4]

QUOTES = {
    "no_timestamps": "both",
    "segments": [{"t0": 0, "t1": 150, "tokens": [
        " Hello", ",", " \"world\"", " back\\slash", " it", "'s", " caf", {"hex": "c3"}, {"hex": "a9"}, "."]}],
}
MULTI = {
    "multilingual": True, "language": "de", "no_timestamps": "both",
    "segments": [{"t0": 0, "t1": 200, "tokens": [" Guten", " Tag", ",", " Stra", {"hex": "c3"}, {"hex": "9f"}, "e", "!"]}],
}
TURNS = {
    "segments": [
        {"t0": 0, "t1": 150, "tokens": [" Hi", ",", " Ann", "."], "speaker_turn": True},
        {"t0": 150, "t1": 320, "tokens": [" Hello", " Bob", "."]},
        {"t0": 340, "t1": 500, "tokens": [" Bye", "."], "speaker_turn": True},
    ],
}
DTW_EN = {
    "dims": "dtw",
    "segments": [
        {"t0": 0, "t1": 120, "tokens": [" Time", " flies", "."]},
        {"t0": 120, "t1": 300, "tokens": [" Fruit", " flies", " like", " bananas", "."]},
    ],
}
DTW_MULTI = dict(DTW_EN, multilingual=True, language="fr")
WINDOWS = {
    "segments": [
        {"t0": 0, "t1": 200, "tokens": [" One", "."]},
        {"t0": 2500, "t1": 2900, "tokens": [" Two", "."]},
        {"t0": 3040, "t1": 3500, "tokens": [" Three", "."]},
        {"t0": 9000, "t1": 9400, "tokens": [" Four", "."]},
    ],
}
WINDOWS_BOTH = {
    "no_timestamps": "both",
    "segments": [
        {"t0": 0, "t1": 200, "tokens": [" One", "."]},
        {"t0": 3040, "t1": 3500, "tokens": [" Three", "."], "speaker_turn": True},
        {"t0": 9000, "t1": 9400, "tokens": [" Four", "."]},
    ],
}
# 45 segments of one word: 135 distinct tokens (text and timestamps), 181 in the window
WIDE = {
    "dims": "wide",
    "segments": [{"t0": 20 * i, "t1": 20 * i + 20, "tokens": [f" w{i}", "," if i % 3 else "."]} for i in range(45)],
}
NO_TS = {
    "no_timestamps": True,
    "segments": [
        {"t0": 0, "t1": 100, "tokens": [" First", " part", "."]},
        {"t0": 100, "t1": 200, "tokens": [" Second", " part", "."], "speaker_turn": True},
    ],
}


def token_bytes(tok):
    return bytes.fromhex(tok["hex"]) if isinstance(tok, dict) else tok.encode()


def scripted(script, offset=0, count=None):
    """The segments a script asks for: (t0, t1, text, speaker turn)."""
    segs = script["segments"][:count]
    return [(s["t0"] + offset, s["t1"] + offset, b"".join(token_bytes(t) for t in s["tokens"]).decode(),
             s.get("speaker_turn", False)) for s in segs]


def one_window_no_ts(script, start=0):
    """Without timestamps the engine makes one segment per 30 s window."""
    text = "".join(s[2] for s in scripted(script))
    turn = any(s.get("speaker_turn", False) for s in script["segments"])
    return [(None, start + 3000, text, turn)]


class Fixture:
    def __init__(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name

    def path(self, name):
        return os.path.join(self.dir, name)

    def model(self, name, script):
        script_path = self.path(name + ".json")
        with open(script_path, "w", encoding="utf-8") as f:
            json.dump(script, f)
        out = self.path(name + ".bin")
        run = subprocess.run([MAKE, script_path, out], capture_output=True, text=True)
        if run.returncode != 0:
            raise RuntimeError(f"{name}: {run.stderr}")
        return out

    def audio(self, name, seconds, kind):
        """Raw 32-bit float mono 16 kHz, made by sox."""
        out = self.path(name + ".f32")
        synth = ["synth", str(seconds), "whitenoise", "vol", "0.02"] if kind == "noise" else ["trim", "0", str(seconds)]
        subprocess.run(["sox", "-n", "-r", "16000", "-c", "1", "-e", "float", "-b", "32", "-t", "raw", out] + synth,
                       check=True)
        return out


def probe(model, audio, options):
    run = subprocess.run([PROBE, model, audio] + options.split(), capture_output=True, text=True, timeout=120)
    if run.returncode != 0:
        raise RuntimeError(f"probe {options!r} failed ({run.returncode}): {run.stderr}")
    return json.loads(run.stdout)


class Transcripts(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.fx = Fixture()
        with open(SAMPLE, encoding="utf-8") as f:
            cls.sample = json.load(f)
        fx = cls.fx
        cls.models = {
            "sample": fx.model("sample", cls.sample),
            "quotes": fx.model("quotes", QUOTES),
            "multi": fx.model("multi", MULTI),
            "turns": fx.model("turns", TURNS),
            "dtw_en": fx.model("dtw_en", DTW_EN),
            "dtw_multi": fx.model("dtw_multi", DTW_MULTI),
            "windows": fx.model("windows", WINDOWS),
            "windows_both": fx.model("windows_both", WINDOWS_BOTH),
            "no_ts_windows": fx.model("no_ts_windows", dict(WINDOWS, no_timestamps=True)),
            "no_ts": fx.model("no_ts", NO_TS),
            "wide": fx.model("wide", WIDE),
            "word": fx.model("word", dict(cls.sample, encoder_word={"feature": 5, "token": " Hello"})),
        }
        cls.audio = {
            "noise3": fx.audio("noise3", 3, "noise"),
            "noise10": fx.audio("noise10", 10, "noise"),
            "silence10": fx.audio("silence10", 10, "silence"),
            "noise30": fx.audio("noise30", 30, "noise"),
            "noise33": fx.audio("noise33", 33, "noise"),
            "noise45": fx.audio("noise45", 45, "noise"),
            "noise100": fx.audio("noise100", 100, "noise"),
        }

    @classmethod
    def tearDownClass(cls):
        cls.fx.tmp.cleanup()

    def run_table(self, table):
        """Runs (model, audio, options, expected segments, expected language) rows, two at a time."""
        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            results = list(pool.map(lambda row: probe(self.models[row[0]], self.audio[row[1]], row[2]), table))
        for (model, audio, options, expected, lang), got in zip(table, results):
            with self.subTest(model=model, audio=audio, options=options):
                self.assertEqual(got["rc"], 0)
                segments = [(s["t0"], s["t1"], bytes.fromhex(s["hex"]).decode(), s["speaker_turn_next"])
                            for s in got["segments"]]
                # Without timestamps the engine's start time is not meaningful (see README).
                segments = [(None if e[0] is None else s[0],) + s[1:] for s, e in zip(segments, expected)] + \
                    segments[len(expected):]
                self.assertEqual(segments, expected)
                probs = [t["p"] for s in got["segments"] for t in s["tokens"]]
                self.assertTrue(all(p == 1.0 for p in probs), probs)
                if lang:
                    self.assertEqual(got["lang"], lang)
                if "--dtw" in options and "--nfa" in options:
                    text_tokens = [t for s in got["segments"] for t in s["tokens"] if t["id"] < 50256]
                    self.assertTrue(text_tokens and all(t["t_dtw"] >= 0 for t in text_tokens))
                elif "--dtw" in options:
                    # flash attention on: the engine switches DTW off while loading
                    self.assertTrue(all(t["t_dtw"] == -1 for s in got["segments"] for t in s["tokens"]))

    def test_sample_decode_settings(self):
        s = scripted(self.sample)
        self.run_table([
            ("sample", "noise10", "", s, "en"),
            ("sample", "noise10", "--beam 5", s, "en"),
            ("sample", "noise10", "--best-of 3", s, "en"),
            ("sample", "noise10", "--token-ts", s, "en"),
            ("sample", "noise10", "--nfa", s, "en"),
            ("sample", "noise10", "--lang de --translate", s, "en"),
            ("sample", "noise10", "--lang auto", s, "en"),
            ("sample", "noise10", "--lang auto --detect", [], "en"),
            ("sample", "silence10", "", s, "en"),
            ("sample", "noise30", "", s, "en"),
        ])

    def test_sample_audio_lengths(self):
        s = scripted(self.sample)
        self.run_table([
            # the window ends at the first timestamp within 0.1 s of the audio's end
            ("sample", "noise3", "", scripted(self.sample, count=2), "en"),
            # the second window has nothing to say
            ("sample", "noise45", "", s, "en"),
            # a last window of under 5 s gets no previous-text prompt: the script restarts
            ("sample", "noise33", "", s + scripted(self.sample, offset=3000, count=2), "en"),
            # no text context: every window is prompted like the first
            ("sample", "noise45", "--mc 0", s + scripted(self.sample, offset=3000), "en"),
        ])

    def test_text_bytes_with_and_without_timestamps(self):
        s = scripted(QUOTES)
        self.run_table([
            ("quotes", "noise10", "", s, "en"),
            ("quotes", "noise10", "--nt", one_window_no_ts(QUOTES), "en"),
            ("quotes", "noise10", "--nt --beam 5", one_window_no_ts(QUOTES), "en"),
            ("quotes", "noise45", "--nt", one_window_no_ts(QUOTES), "en"),
            ("quotes", "noise45", "", s, "en"),
        ])

    def test_multilingual(self):
        s = scripted(MULTI)
        self.run_table([
            ("multi", "noise10", "--lang de", s, "de"),
            ("multi", "noise10", "--lang en", s, "en"),
            ("multi", "noise10", "--lang de --beam 5", s, "de"),
            ("multi", "noise10", "--lang de --translate", s, "de"),
            ("multi", "noise10", "--lang auto", s, "de"),
            ("multi", "noise10", "--lang de --nt", one_window_no_ts(MULTI), "de"),
            ("multi", "noise45", "--lang de --nt", one_window_no_ts(MULTI), "de"),
            ("multi", "noise10", "--lang auto --detect", [], "de"),
        ])

    def test_speaker_turns(self):
        s = scripted(TURNS)
        self.assertEqual([t[3] for t in s], [True, False, True])
        self.run_table([
            ("turns", "noise10", "--tdrz", s, "en"),
            ("no_ts", "noise10", "--nt --tdrz", one_window_no_ts(NO_TS), "en"),
            ("no_ts", "noise10", "--nt --tdrz --beam 5", one_window_no_ts(NO_TS), "en"),
        ])

    def test_dtw_presets(self):
        self.run_table([
            ("dtw_en", "noise10", "--dtw tiny.en --nfa", scripted(DTW_EN), "en"),
            ("dtw_en", "noise10", "--dtw tiny.en --nfa --token-ts", scripted(DTW_EN), "en"),
            ("dtw_en", "noise10", "--dtw tiny.en", scripted(DTW_EN), "en"),
            ("dtw_multi", "noise10", "--dtw tiny --nfa --lang fr", scripted(DTW_MULTI), "fr"),
            ("dtw_multi", "noise10", "--dtw tiny --nfa --lang auto", scripted(DTW_MULTI), "fr"),
        ])

    def test_token_times_do_not_depend_on_the_audio(self):
        runs = [probe(self.models["sample"], self.audio[a], "--token-ts") for a in ("noise10", "silence10")]
        times = [[[(t["t0"], t["t1"]) for t in s["tokens"]] for s in r["segments"]] for r in runs]
        self.assertEqual(times[0], times[1])
        for seg, toks in zip(runs[0]["segments"], times[0]):
            self.assertTrue(all(seg["t0"] <= a <= b <= seg["t1"] for a, b in toks), toks)

    def test_several_windows(self):
        s = scripted(WINDOWS)
        self.run_table([
            ("windows", "noise100", "", s, "en"),
            ("windows", "noise100", "--beam 5", s, "en"),
            ("windows", "noise100", "--token-ts", s, "en"),
            ("windows", "noise100", "--temperature 0.4", s, "en"),
            # from temperature 0.5 on the engine drops the previous-text prompt, as with -mc 0
            ("windows", "noise45", "--temperature 0.6", scripted(WINDOWS, count=2) + scripted(WINDOWS, 3000, 1), "en"),
            # audio ends inside the second window: the rest of the script is never reached
            ("windows", "noise45", "", scripted(WINDOWS, count=3), "en"),
        ])

    def test_encoder_word_keeps_the_script_with_the_models_own_encoder(self):
        # The switch feature is 0 out of the engine's encoder, whatever the audio.
        s = scripted(self.sample)
        self.run_table([
            ("word", "noise10", "", s, "en"),
            ("word", "silence10", "--beam 5", s, "en"),
            ("word", "noise10", "--nfa --token-ts", s, "en"),
            ("word", "noise45", "", s, "en"),
        ])

    def test_many_segments_in_a_wide_model(self):
        self.run_table([("wide", "noise30", "", scripted(WIDE), "en")])

    def test_several_windows_with_and_without_timestamps(self):
        no_ts = [(None, 3000, " One.", False), (None, 6000, " Three.", True), (None, 12000, " Four.", False)]
        self.run_table([
            ("windows_both", "noise100", "--tdrz", scripted(WINDOWS_BOTH), "en"),
            ("windows_both", "noise100", "--nt --tdrz", no_ts, "en"),
            ("no_ts_windows", "noise100", "--nt", [(None, 3000, " One. Two.", False), (None, 6000, " Three.", False),
                                                   (None, 12000, " Four.", False)], "en"),
        ])


def random_script(rng):
    """A script over one or two windows, with or without timestamps, turns and languages."""
    words = [" a", " b", " c", " d", ",", " e", ".", " f", " \\", " \"", {"hex": "c3"}, {"hex": "b6"}]
    mode = rng.choice([False, True, "both"])
    segments = []
    for w in range(rng.choice([1, 2])):
        if w > 0 and rng.random() < 0.3:
            continue  # a silent window between scripted ones
        t = 3000 * w + 2 * rng.randint(0, 50)
        for _ in range(1 if mode == "both" else rng.randint(1, 3)):
            t1 = t + 2 * rng.randint(1, 200)
            if t1 > 3000 * w + 1400:  # inside 45 s of audio
                break
            tokens = [rng.choice(words[:8]) for _ in range(rng.randint(1, 5))]
            if rng.random() < 0.3:
                tokens += [words[10], words[11]]  # "ö" split over two tokens
            segments.append({"t0": t, "t1": t1, "tokens": tokens, "speaker_turn": rng.random() < 0.3})
            t = t1 + 2 * rng.randint(0, 20)
    script = {"multilingual": rng.random() < 0.3, "no_timestamps": mode, "segments": segments}
    if script["multilingual"]:
        script["language"] = rng.choice(["de", "fr", "ja"])
    return script


class RandomScripts(unittest.TestCase):
    """Seeded random scripts: every combination the layout must settle, checked end to end."""

    def test_random_scripts(self):
        rng = __import__("random").Random(20261211)
        fx = Fixture()
        try:
            audio = fx.audio("noise45", 45, "noise")
            rows = []
            for n in range(5):
                script = random_script(rng)
                model = fx.model(f"random{n}", script)
                lang = " --lang " + script["language"] if script["multilingual"] else ""
                if script["no_timestamps"] is not True:
                    rows.append((script, model, "--tdrz" + lang, scripted(script)))
                if script["no_timestamps"]:
                    per_window = {}
                    for seg in script["segments"]:
                        per_window.setdefault(seg["t0"] // 3000, []).append(seg)
                    expected = [(None, 3000 * (w + 1), "".join(s[2] for s in scripted({"segments": segs})),
                                 any(s["speaker_turn"] for s in segs)) for w, segs in sorted(per_window.items())]
                    rows.append((script, model, "--nt --tdrz" + lang, expected))
            with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
                results = list(pool.map(lambda row: probe(row[1], audio, row[2]), rows))
            for (script, _, options, expected), got in zip(rows, results):
                with self.subTest(script=json.dumps(script), options=options):
                    segments = [(None if "--nt" in options else s["t0"], s["t1"],
                                 bytes.fromhex(s["hex"]).decode(), s["speaker_turn_next"]) for s in got["segments"]]
                    self.assertEqual(segments, expected)
                    self.assertTrue(all(t["p"] == 1.0 for s in got["segments"] for t in s["tokens"]))
        finally:
            fx.tmp.cleanup()


def tool(args, stdin=None):
    return subprocess.run([MAKE] + args, input=stdin, capture_output=True, text=True)


class ToolErrors(unittest.TestCase):
    def test_bad_scripts_fail_with_a_reason(self):
        seg = {"t0": 0, "t1": 100, "tokens": [" a"]}
        many = [{"t0": 2 * i, "t1": 2 * i + 2, "tokens": [f" w{i}"]} for i in range(40)]
        repetitive = [{"t0": 0, "t1": 200, "tokens": [" la"] * 40}]
        cases = [
            ("{", "not valid JSON"),
            ("[]", "top level is an object"),
            (json.dumps({"segments": [seg], "colour": 1}), "unknown key \"colour\""),
            (json.dumps({"segments": [dict(seg, t0=1)]}), "multiple of 2"),
            (json.dumps({"segments": [dict(seg, t0=-2)]}), "must not be negative"),
            (json.dumps({"segments": [dict(seg, t1=1.5)]}), "must be an integer"),
            (json.dumps({"segments": [dict(seg, t0=200, t1=100)]}), "t1 is before t0"),
            (json.dumps({"segments": [dict(seg, tokens=[])]}), "non-empty array"),
            (json.dumps({"segments": [dict(seg, tokens=[""])]}), "empty token"),
            (json.dumps({"segments": [dict(seg, tokens=[{"hex": "c"}])]}), "even number"),
            (json.dumps({"segments": [dict(seg, tokens=[{"hex": "zz"}])]}), "non-hex digit"),
            (json.dumps({"segments": [dict(seg, tokens=[5])]}), "a token is a string"),
            (json.dumps({"segments": [seg, dict(seg, t0=50)]}), "before the previous segment ends"),
            (json.dumps({"segments": [dict(seg, t0=2990, t1=3010)]}), "crosses the 30 s window boundary"),
            (json.dumps({"segments": [dict(seg, t0=102, t1=200)]}), "within 1.00 s"),
            (json.dumps({"segments": [dict(seg, t0=3000, t1=3000)]}), "must end after the start of its window"),
            (json.dumps({"dims": "huge", "segments": [seg]}), "dims"),
            (json.dumps({"segments": [seg], "encoder_word": 5}), "encoder_word: must be an object"),
            (json.dumps({"segments": [seg], "encoder_word": {"feature": 64, "token": " x"}}), "below 64"),
            (json.dumps({"segments": [seg], "encoder_word": {"feature": -1, "token": " x"}}), "below 64"),
            (json.dumps({"segments": [seg], "encoder_word": {"feature": 1}}), "encoder_word.token: missing"),
            (json.dumps({"segments": [seg], "encoder_word": {"feature": 1, "token": ""}}), "empty token"),
            (json.dumps({"segments": [seg], "encoder_word": {"feature": 1, "token": " x", "gain": 2}}),
             "unknown key \"gain\""),
            (json.dumps({"segments": [seg], "encoder_word": {"feature": 1, "token": seg["tokens"][0]}}),
             "must differ"),
            (json.dumps({"segments": [], "encoder_word": {"feature": 1, "token": " x"}}), "needs a segment"),
            (json.dumps({"language": "de", "segments": [seg]}), "only a multilingual model"),
            (json.dumps({"multilingual": True, "language": "xx", "segments": [seg]}), "unknown language"),
            (json.dumps({"no_timestamps": "maybe", "segments": [seg]}), "no_timestamps"),
            (json.dumps({"segments": many}), "has room for 64"),
            (json.dumps({"segments": repetitive}), "repeat too much"),
            (json.dumps({"no_timestamps": "both", "segments": [dict(seg, tokens=[" a", " b"]),
                                                                dict(seg, t0=100, t1=200, tokens=[" c", " d"])]}),
             "collide"),
        ]
        with tempfile.TemporaryDirectory() as d:
            out = os.path.join(d, "m.bin")
            for text, message in cases:
                with self.subTest(script=text[:60]):
                    run = tool(["-", out], stdin=text)
                    self.assertEqual(run.returncode, 1)
                    self.assertTrue(run.stderr.startswith("error: "), run.stderr)
                    self.assertIn(message, run.stderr)
                    self.assertFalse(os.path.exists(out))

    def test_usage_and_files(self):
        self.assertEqual(tool([]).returncode, 1)
        self.assertIn("usage:", tool([]).stderr)
        self.assertEqual(tool(["--help"]).returncode, 0)
        with tempfile.TemporaryDirectory() as d:
            missing = tool([os.path.join(d, "nope.json"), os.path.join(d, "m.bin")])
            self.assertEqual(missing.returncode, 1)
            self.assertIn("cannot read script", missing.stderr)
            unwritable = tool([SAMPLE, os.path.join(d, "no-such-dir", "m.bin")])
            self.assertEqual(unwritable.returncode, 1)
            self.assertIn("cannot create", unwritable.stderr)
            # wider models take more distinct tokens
            many = {"dims": "wide", "segments": [{"t0": 2 * i, "t1": 2 * i + 2, "tokens": [f" w{i}"]} for i in range(40)]}
            self.assertEqual(tool(["-", os.path.join(d, "wide.bin")], stdin=json.dumps(many)).returncode, 0)

    def test_output_is_deterministic(self):
        with tempfile.TemporaryDirectory() as d:
            a, b = os.path.join(d, "a.bin"), os.path.join(d, "b.bin")
            self.assertEqual(tool([SAMPLE, a]).returncode, 0)
            with open(SAMPLE, encoding="utf-8") as f:
                self.assertEqual(tool(["-", b], stdin=f.read()).returncode, 0)
            with open(a, "rb") as fa, open(b, "rb") as fb:
                self.assertEqual(fa.read(), fb.read())


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
