"""CSV, JSON (plain and full) and score files, read back with Python's csv and strict json."""
import csv
import io
import json
import unittest

from speechtest import TempDirTest, make_model, read_bytes, read_text, run, stereo_levels_wav
from test_outputs import TURNS, noise
from test_transcribe import FAST

STRUCT = {"segments": [
    {"t0": 0, "t1": 150, "tokens": [" He", " said", " \"hi,", "\\", "there\""]},
    {"t0": 150, "t1": 420, "tokens": [" caf", {"hex": "c3"}, {"hex": "a9"}, "\t", "tab"]},
    {"t0": 420, "t1": 600, "tokens": [" line", "\n", "break", "\u0001"]},
]}
TEXTS = [" He said \"hi,\\there\"", " café\ttab", " line\nbreak\u0001"]
TIMES = [(0, 1500), (1500, 4200), (4200, 6000)]


def ordered(text):
    """Strict JSON with member order kept, as lists of pairs."""
    return json.loads(text, object_pairs_hook=lambda pairs: pairs)


class Structured(TempDirTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.model = make_model(cls.path("struct.bin"), STRUCT)
        cls.wav = noise(cls.path("in.wav"), 6.5)
        cls.base = cls.path("out")
        r = run(["-m", cls.model, *FAST, "-ocsv", "-ojf", "-ls", "-of", cls.base, cls.wav])
        assert r.rc == 0, r

    def test_csv_reads_back(self):
        text = read_text(self.base + ".csv")
        rows = list(csv.reader(io.StringIO(text, newline="")))
        self.assertEqual(rows[0], ["start", "end", "text"])
        self.assertEqual(rows[1:], [[str(a), str(b), t] for (a, b), t in zip(TIMES, TEXTS)])
        self.assertTrue(text.startswith("start,end,text\n0,1500,\" He said \"\"hi,\\there\"\"\"\n"))

    def test_full_json_reads_back(self):
        doc = json.loads(read_text(self.base + ".json"))  # strict: raw control characters would fail
        self.assertEqual(list(doc), ["systeminfo", "model", "params", "result", "transcription"])
        self.assertEqual(doc["model"]["vocab"], 51864)
        self.assertFalse(doc["model"]["multilingual"])
        self.assertEqual(doc["params"], {"model": self.model, "language": "en", "translate": False})
        self.assertEqual(doc["result"], {"language": "en"})
        segs = doc["transcription"]
        self.assertEqual([s["text"] for s in segs], TEXTS)
        self.assertEqual([(s["offsets"]["from"], s["offsets"]["to"]) for s in segs], TIMES)
        self.assertEqual(segs[1]["timestamps"], {"from": "00:00:01,500", "to": "00:00:04,200"})

        groups = segs[1]["tokens"]
        texts = [g["text"] for g in groups]
        self.assertIn("é", texts)  # the two tokens of the split character form one group
        self.assertNotIn("\xc3", "".join(texts))
        e_group = groups[texts.index("é")]
        tab_group = groups[texts.index("\t")]
        self.assertEqual(e_group["id"] + 2, tab_group["id"])  # first token's id; the second is skipped
        self.assertLessEqual(e_group["offsets"]["to"], tab_group["offsets"]["from"])
        for g in groups:
            self.assertEqual(list(g)[-3:], ["id", "p", "t_dtw"])
            self.assertEqual(g["p"], 1)

    def test_json_layout_is_exact(self):
        text = read_text(self.base + ".json")
        self.assertTrue(text.startswith("{\n\t\"systeminfo\": \""))
        self.assertIn("\t\"model\": {\n\t\t\"type\": \"", text)
        self.assertIn("\t\t\"audio\": {\n\t\t\t\"ctx\": 1500,\n\t\t\t\"state\": 64,\n", text)
        self.assertIn("\t\"transcription\": [\n\t\t{\n\t\t\t\"timestamps\": {\n"
                      "\t\t\t\t\"from\": \"00:00:00,000\",\n\t\t\t\t\"to\": \"00:00:01,500\"\n\t\t\t},\n", text)
        self.assertIn("\"text\": \" He said \\\"hi,\\\\there\\\"\",\n", text)
        self.assertIn("\"text\": \" line\\nbreak\\u0001\",\n", text)
        self.assertTrue(text.endswith("\t\t}\n\t]\n}\n"))

    def test_plain_json(self):
        base = self.path("plain")
        run(["-m", self.model, *FAST, "-oj", "-of", base, self.wav])
        doc = ordered(read_text(base + ".json"))
        segs = dict(doc)["transcription"]
        self.assertEqual([[k for k, _ in s] for s in segs], [["timestamps", "offsets", "text"]] * 3)
        self.assertIn("\t\t\t\"text\": \" He said \\\"hi,\\\\there\\\"\"\n\t\t},\n", read_text(base + ".json"))

    def test_score_list(self):
        # One line per token, raw bytes (a split character stays split), special tokens included.
        data = read_bytes(self.base + ".score.txt")
        for line in [b"[_BEG_]\t1\n", b" He\t1\n", b" \"hi,\t1\n", b"\xc3\t1\n", b"\xa9\t1\n", b"\t\t1\n",
                     b"\n\t1\n", b"\x01\t1\n", b"[_TT_210]\t1\n"]:
            self.assertIn(line, data)
        self.assertTrue(data.startswith(b"[_BEG_]\t1\n He\t1\n said\t1\n"))

    def test_tokens_without_times_have_no_time_members(self):
        nt = make_model(self.path("nt.bin"), dict(STRUCT, no_timestamps=True))
        base = self.path("nt")
        r = run(["-m", nt, *FAST, "-nt", "-ojf", "-of", base, self.wav])
        self.assertEqual(r.rc, 0, r)
        seg = json.loads(read_text(base + ".json"))["transcription"][0]
        untimed = [g for g in seg["tokens"] if "timestamps" not in g]
        self.assertTrue(untimed)
        for g in untimed:
            self.assertEqual(list(g), ["text", "id", "p", "t_dtw"])
        self.assertIn("é", [g["text"] for g in seg["tokens"]])


class Speakers(TempDirTest):
    def test_diarize_members(self):
        model = make_model(self.path("m.bin"), STRUCT)
        stereo = stereo_levels_wav(self.path("stereo.wav"), 0.1, 0.4, seconds=6.5)
        base = self.path("di")
        r = run(["-m", model, *FAST, "-di", "-ocsv", "-ojf", "-of", base, stereo])
        self.assertEqual(r.rc, 0, r)
        rows = list(csv.reader(io.StringIO(read_text(base + ".csv"), newline="")))
        self.assertEqual(rows[0], ["start", "end", "speaker", "text"])
        self.assertEqual([r[2] for r in rows[1:]], ["1", "1", "1"])
        segs = ordered(read_text(base + ".json"))
        segs = dict(segs)["transcription"]
        self.assertEqual([s[-1] for s in segs], [("speaker", "1")] * 3)

    def test_speaker_turn_member(self):
        model = make_model(self.path("t.bin"), TURNS)
        wav = noise(self.path("t.wav"), 4.5)
        base = self.path("tdrz")
        r = run(["-m", model, *FAST, "-tdrz", "-oj", "-of", base, wav])
        self.assertEqual(r.rc, 0, r)
        segs = dict(ordered(read_text(base + ".json")))["transcription"]
        self.assertEqual([s[-1] for s in segs], [("speaker_turn_next", True), ("speaker_turn_next", False)])


if __name__ == "__main__":
    unittest.main()
