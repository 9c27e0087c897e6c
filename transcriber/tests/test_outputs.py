"""Live printer modes and the text/subtitle files, checked byte for byte and read back by ffmpeg."""
import os
import re
import subprocess
import unittest

from speechtest import SPEECH, TempDirTest, make_model, read_bytes, read_text, run, stereo_levels_wav
from test_transcribe import BASIC, FAST, LIVE, TEXTS

TXT = "Hello, \"quoted\" world\ntab and back\\slash\ncafé it's done.\n"
VTT = ("WEBVTT\n\n"
       "00:00:00.000 --> 00:00:01.500\n Hello, \"quoted\" world\n\n"
       "00:00:01.500 --> 00:00:04.200\n\ttab and back\\slash\n\n"
       "00:00:04.200 --> 00:00:08.000\n café it's done.\n\n")
SRT = ("1\n00:00:00,000 --> 00:00:01,500\n Hello, \"quoted\" world\n\n"
       "2\n00:00:01,500 --> 00:00:04,200\n\ttab and back\\slash\n\n"
       "3\n00:00:04,200 --> 00:00:08,000\n café it's done.\n\n")
LRC = ("[by:whisper.cpp]\n"
       "[00:00.00] Hello, \"quoted\" world\n"
       "[00:01.50]\ttab and back\\slash\n"
       "[00:04.20] café it's done.\n")

TURNS = {"segments": [
    {"t0": 0, "t1": 200, "tokens": [" Are", " you", " there", "?"], "speaker_turn": True},
    {"t0": 200, "t1": 400, "tokens": [" Yes", ",", " here", "."]},
]}


def noise(path, seconds, rate=16000, channels=1):
    subprocess.run(["sox", "-n", "-r", str(rate), "-c", str(channels), "-b", "16", path,
                    "synth", str(seconds), "pinknoise", "gain", "-25"], check=True)
    return path


def ffmpeg_cues(path):
    """The cue start and end times (seconds) ffmpeg reads from a subtitle file, via SubRip."""
    proc = subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-i", path, "-f", "srt", "-"],
                          capture_output=True, check=True)
    times = re.findall(r"(\d\d):(\d\d):(\d\d),(\d\d\d) --> (\d\d):(\d\d):(\d\d),(\d\d\d)", proc.stdout.decode())
    to_s = lambda h, m, s, ms: int(h) * 3600 + int(m) * 60 + int(s) + int(ms) / 1000
    return [(to_s(*t[:4]), to_s(*t[4:])) for t in times]


class Files(TempDirTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.model = make_model(cls.path("basic.bin"), BASIC)
        cls.wav = noise(cls.path("in.wav"), 8.5)

    def test_text_and_subtitle_files_are_exact(self):
        base = self.path("out")
        r = run(["-m", self.model, *FAST, "-otxt", "-ovtt", "-osrt", "-olrc", "-of", base, self.wav])
        self.assertEqual(r.rc, 0, r)
        self.assertEqual(r.out_text, LIVE)
        for ext, expected in [(".txt", TXT), (".vtt", VTT), (".srt", SRT), (".lrc", LRC)]:
            with self.subTest(ext=ext):
                self.assertEqual(read_text(base + ext), expected)
        writers = re.findall(r"^(output_\w+): saving output to '(.*)'$", r.err_text, re.M)
        self.assertEqual(writers, [("output_txt", base + ".txt"), ("output_vtt", base + ".vtt"),
                                   ("output_srt", base + ".srt"), ("output_lrc", base + ".lrc")])

    def test_ffmpeg_reads_our_subtitles(self):
        base = self.path("ff")
        run(["-m", self.model, *FAST, "-ovtt", "-osrt", "-olrc", "-of", base, self.wav])
        expected = [(0.0, 1.5), (1.5, 4.2), (4.2, 8.0)]
        self.assertEqual(ffmpeg_cues(base + ".srt"), expected)
        self.assertEqual(ffmpeg_cues(base + ".vtt"), expected)
        # LRC carries start times only; ffmpeg ends each line where the next begins.
        self.assertEqual([c[0] for c in ffmpeg_cues(base + ".lrc")], [0.0, 1.5, 4.2])

    def test_extension_is_appended_to_the_input_path_and_files_are_truncated(self):
        wav = noise(self.path("talk.wav"), 8.5)
        with open(wav + ".txt", "w") as f:
            f.write("old content that is much longer than the new transcript " * 10)
        r = run(["-m", self.model, *FAST, "-otxt", "-on", "10", "-osrt", wav])
        self.assertEqual(r.rc, 0, r)
        self.assertEqual(read_text(wav + ".txt"), TXT)
        self.assertTrue(read_text(wav + ".srt").startswith("11\n00:00:00,000"))
        self.assertIn("\n12\n", read_text(wav + ".srt"))

    def test_two_inputs_one_output_base(self):
        second = noise(self.path("second.wav"), 8.5)
        base = self.path("first")
        r = run(["-m", self.model, *FAST, "-otxt", "-of", base, self.wav, second])
        self.assertEqual(r.rc, 0, r)
        self.assertEqual(read_text(base + ".txt"), TXT)
        self.assertEqual(read_text(second + ".txt"), TXT)

    def test_standard_output_takes_one_format(self):
        r = run(["-m", self.model, *FAST, "-of", "-", "-otxt", "-osrt", "-pp", self.wav], cwd=self.tmp)
        self.assertEqual(r.rc, 0, r)
        self.assertEqual(r.out_text, TXT)
        self.assertIn("warning: Not appending multiple file formats to stdout\n", r.err_text)
        self.assertNotIn("progress =", r.err_text)
        self.assertNotIn("saving output", r.err_text)
        self.assertFalse(any(name.startswith("-") for name in os.listdir(self.tmp)))

    def test_standard_output_as_a_regular_file_keeps_every_byte_in_order(self):
        out = self.path("out.txt")
        with open(out, "wb") as f:
            proc = subprocess.run([SPEECH, "-m", self.model, *FAST, "-otxt", "-of", "-", "-of", self.path("Z"),
                                   self.wav, self.wav], stdout=f, stderr=subprocess.PIPE, timeout=300)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        text = read_text(out)
        self.assertTrue(text.startswith(TXT), text)  # input 1's transcript first, then input 2's live lines
        self.assertGreater(len(text), len(TXT))
        self.assertEqual(read_text(self.path("Z.txt")), TXT)

    def test_named_pipe_is_read_once_whole(self):
        fifo = self.path("pipe.wav")
        os.mkfifo(fifo)
        writer = subprocess.Popen(["sh", "-c", f'cat "{self.wav}" > "{fifo}"'])
        r = run(["-m", self.model, *FAST, "-otxt", "-of", self.path("piped"), fifo], timeout=120)
        self.assertEqual(writer.wait(timeout=60), 0)  # the writer was never cut off
        self.assertEqual(r.rc, 0, r)
        self.assertEqual(read_text(self.path("piped.txt")), TXT)

    def test_input_whose_stated_length_the_data_cannot_hold(self):
        flac = self.path("tone.flac")
        subprocess.run(["sox", "-n", "-r", "16000", "-b", "16", flac, "synth", "0.5", "sine", "440"], check=True)
        data = bytearray(read_bytes(flac))
        data[21] |= 0x0F  # STREAMINFO total samples: 2^36 - 1
        data[22:26] = b"\xff" * 4
        with open(flac, "wb") as f:
            f.write(data)
        r = run(["-m", self.model, *FAST, "-otxt", flac, self.wav])
        self.assertEqual(r.rc, 11, r)
        self.assertIn("error: the audio data cannot hold its stated length (68719476735 frames", r.err_text)
        self.assertIn(f"error: failed to read audio file '{flac}'\n", r.err_text)
        self.assertEqual(read_text(self.wav + ".txt"), TXT)

    def test_standard_output_without_a_format(self):
        r = run(["-m", self.model, *FAST, "-np", "-of", "-", self.wav])
        self.assertEqual(r.rc, 0, r)
        self.assertEqual(r.out, b"")
        self.assertEqual(r.err_text, "warning: '--output-file -' used without any other '--output-*'")

    def test_output_directory_missing(self):
        base = self.path("no/such/dir/out")
        r = run(["-m", self.model, *FAST, "-otxt", "-osrt", "-of", base, self.wav, self.wav])
        self.assertEqual(r.rc, 11, r)
        self.assertEqual(r.err_text.count(f"open: failed to open '{base}.txt' for writing\n"), 1)
        self.assertEqual(r.err_text.count(f"open: failed to open '{base}.srt' for writing\n"), 1)
        self.assertTrue(r.err_text.endswith("error: 1 input file(s) failed\n"), r)
        self.assertTrue(os.path.exists(self.wav + ".txt"))  # the second input has its own base

    def test_zero_segments(self):
        ml = make_model(self.path("ml.bin"), dict(BASIC, multilingual=True))
        base = self.path("empty")
        r = run(["-m", ml, *FAST, "-dl", "-otxt", "-ovtt", "-osrt", "-olrc", "-of", base, self.wav])
        self.assertEqual(r.rc, 0, r)
        for ext, expected in [(".txt", ""), (".vtt", "WEBVTT\n\n"), (".srt", ""), (".lrc", "[by:whisper.cpp]\n")]:
            self.assertEqual(read_text(base + ext), expected)


class LivePrinter(TempDirTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.model = make_model(cls.path("basic.bin"), BASIC)
        cls.nt_model = make_model(cls.path("nt.bin"), dict(BASIC, no_timestamps=True))
        cls.wav = noise(cls.path("in.wav"), 8.5)
        cls.stereo = cls.path("stereo.wav")
        stereo_levels_wav(cls.stereo, 0.3, 0.1, seconds=8.5)

    def test_no_timestamps_runs_segments_together(self):
        r = run(["-m", self.nt_model, *FAST, "-nt", self.wav])
        self.assertEqual(r.rc, 0, r)
        self.assertEqual(r.out_text, "\n" + "".join(TEXTS))
        self.assertIn("timestamps = 0 ...", r.err_text)

    def test_no_timestamps_with_diarize_on_one_channel(self):
        # Without timestamps the engine makes one segment of the window; with -di it still
        # ends with a line feed and is labelled from two identical channels.
        r = run(["-m", self.nt_model, *FAST, "-nt", "-di", self.wav])
        self.assertEqual(r.rc, 0, r)
        self.assertEqual(r.out_text, "\n(speaker ?)" + "".join(TEXTS) + "\n")

    def test_louder_left_channel_is_speaker_0_everywhere(self):
        base = self.path("stereo")
        r = run(["-m", self.model, *FAST, "-di", "-otxt", "-ovtt", "-osrt", "-olrc", "-of", base, self.stereo])
        self.assertEqual(r.rc, 0, r)
        self.assertEqual(r.out_text, LIVE.replace("]  ", "]  (speaker 0)"))
        self.assertEqual(read_text(base + ".txt"), "".join(f"(speaker 0){t}\n" for t in TEXTS))
        self.assertEqual(read_text(base + ".vtt"), VTT.replace("\n ", "\n<v Speaker0> ").replace(
            "\n\ttab", "\n<v Speaker0>\ttab"))
        self.assertEqual(read_text(base + ".srt"), SRT.replace("0\n ", "0\n(speaker 0) ").replace(
            "0\n\t", "0\n(speaker 0)\t"))
        self.assertEqual(read_text(base + ".lrc"), LRC.replace("] ", "](speaker 0) ").replace("]\t", "](speaker 0)\t"))

    def test_confidence_colours_and_styles(self):
        reset = "\033[0m"
        green = "\033[38;5;71m"  # p = 1.0
        r = run(["-m", self.model, *FAST, "-pc", self.wav])
        self.assertIn("main: color scheme: red (low confidence), yellow (medium), green (high confidence)\n", r.err_text)
        first = r.out_text.splitlines()[1]
        self.assertEqual(first, "[00:00:00.000 --> 00:00:01.500]  " +
                         "".join(green + t + reset for t in [" Hello", ",", " \"quoted\"", " world"]))
        r = run(["-m", self.model, *FAST, "--print-confidence", "-di", self.stereo])
        self.assertIn("main: confidence: highlighted (low confidence), underlined (medium), dim (high confidence)\n",
                      r.err_text)
        first = r.out_text.splitlines()[1]
        self.assertEqual(first, "[00:00:00.000 --> 00:00:01.500]  " +
                         "".join("(speaker 0)\033[2m" + t + reset for t in [" Hello", ",", " \"quoted\"", " world"]))

    def test_special_tokens(self):
        r = run(["-m", self.model, *FAST, "-pc", "-ps", self.wav])
        self.assertIn("[_BEG_]", r.out_text)
        # In segment-text mode the engine's own text, which then holds the special tokens, is printed.
        r = run(["-m", self.model, *FAST, "-ps", self.wav])
        self.assertIn("]  [_BEG_] Hello, \"quoted\" world[_TT_75]\n", r.out_text)

    def test_speaker_turns(self):
        model = make_model(self.path("tdrz.bin"), TURNS)
        wav = noise(self.path("turns.wav"), 4.5)
        r = run(["-m", model, *FAST, "-tdrz", wav])
        self.assertEqual(r.rc, 0, r)
        self.assertEqual(r.out_text, "\n[00:00:00.000 --> 00:00:02.000]   Are you there? [SPEAKER_TURN]\n"
                                     "[00:00:02.000 --> 00:00:04.000]   Yes, here.\n")
        self.assertIn("tdrz = 1, timestamps = 1", r.err_text)
        r = run(["-m", model, *FAST, wav])
        self.assertNotIn("SPEAKER_TURN", r.out_text)

    def test_progress_lines(self):
        r = run(["-m", self.model, *FAST, "-pp", self.wav])
        lines = re.findall(r"^whisper_print_progress_callback: progress = (...)%$", r.err_text, re.M)
        self.assertTrue(lines, r)
        values = [int(v) for v in lines]
        self.assertEqual(values, sorted(values))
        self.assertEqual(r.out_text, LIVE)


if __name__ == "__main__":
    unittest.main()
