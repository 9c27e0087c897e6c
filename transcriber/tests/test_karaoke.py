"""The karaoke script: written, then run with bash and a real ffmpeg, and the video read back."""
import json
import os
import re
import shutil
import subprocess
import time
import unittest

from speechtest import SPEECH, TempDirTest, make_model, read_text, run, stereo_levels_wav
from test_outputs import noise
from test_transcribe import FAST

FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"
KARAOKE = {"segments": [
    {"t0": 0, "t1": 150, "tokens": [" it's", " 50%", " a:b,"]},
    {"t0": 150, "t1": 300, "tokens": [" $(touch", " PWNED)", " `id`;", " \"q\\\""]},
]}
# What drawtext receives after the option parser (it still turns "\%" into "%" and "\\" into "\").
BACKGROUNDS = [">  it\u2019s 50\\% a:b,", ">  $(touch PWNED) `id`; \"q\\\\\""]


class Karaoke(TempDirTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.model = make_model(cls.path("k.bin"), KARAOKE)
        # ffmpeg as the script calls it, with its option log kept for inspection.
        cls.bin = cls.path("bin")
        os.mkdir(cls.bin)
        wrapper = os.path.join(cls.bin, "ffmpeg")
        with open(wrapper, "w") as f:
            f.write(f'#!/bin/bash\nexec {shutil.which("ffmpeg")} -nostdin -loglevel debug "$@" 2>>"$FFLOG"\n')
        os.chmod(wrapper, 0o755)

    def render(self, script, log):
        env = dict(os.environ, PATH=self.bin + os.pathsep + os.environ["PATH"], FFLOG=log)
        return subprocess.run(["bash", script], cwd=self.tmp, env=env, capture_output=True, timeout=300)

    def drawtext_values(self, log):
        return re.findall(r"Parsed_drawtext_\d+ @ \S+\] Setting 'text' to value '(.*)'$", read_text(log), re.M)

    def test_script_renders_a_video_showing_the_spoken_text(self):
        folder = self.path("with blank")
        os.mkdir(folder)
        wav = noise(os.path.join(folder, "it's me.wav"), 3.5)
        # A font path with an apostrophe and a blank, as the option and graph levels see it.
        os.mkdir(self.path("f'o"))
        font = self.path("f'o/m o.ttf")
        shutil.copy(FONT, font)
        r = run(["-m", self.model, *FAST, "-owts", "-fp", font, wav])
        self.assertEqual(r.rc, 0, r)
        script = wav + ".wts"
        self.assertIn(f"# output_wts: run 'source {script}' to generate karaoke video\n", r.err_text)
        text = read_text(script)
        self.assertTrue(text.startswith("#!/bin/bash\n\nffmpeg -i "), text)
        self.assertIn(":rate=25:color=black -vf \"drawtext=fontfile='" + font.replace("'", "\\\\'\\\\''") +
                      "':fontsize=24:fontcolor=gray:x=(w-text_w)/2:y=h/2:text='':enable='between(t,0,0)',drawtext=",
                      text)
        self.assertIn("duration=3.5625:", text)  # (56000 + 1000) / 16000

        log = self.path("ff1.log")
        proc = self.render(script, log)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        self.assertIn(f"Your video has been saved to {wav}.mp4", proc.stdout.decode())
        self.assertFalse(os.path.exists(self.path("PWNED")))

        values = self.drawtext_values(log)
        self.assertEqual([v for v in values if v.startswith(">  ") and "|" not in v], BACKGROUNDS)
        self.assertIn(">  it\u2019s|         ", values)   # highlighted token, the rest blanked
        self.assertIn("  _____         ", values)          # its underline, one "_" per byte

        probe = json.loads(subprocess.check_output(
            ["ffprobe", "-v", "error", "-show_streams", "-show_format", "-of", "json", wav + ".mp4"]))
        video = [s for s in probe["streams"] if s["codec_type"] == "video"][0]
        self.assertEqual((video["codec_name"], video["width"], video["height"]), ("h264", 1200, 120))
        self.assertAlmostEqual(float(probe["format"]["duration"]), 3.56, delta=0.15)

    def test_speaker_label_and_underline(self):
        stereo = stereo_levels_wav(self.path("st.wav"), 0.4, 0.1, seconds=3.5)
        r = run(["-m", self.model, *FAST, "-di", "-owts", "-fp", FONT, stereo])
        self.assertEqual(r.rc, 0, r)
        log = self.path("ff2.log")
        self.assertEqual(self.render(stereo + ".wts", log).returncode, 0)
        values = self.drawtext_values(log)
        self.assertIn("(speaker 0)> " + BACKGROUNDS[0][2:], values)
        underlines = [v for v in values if "_" in v]
        self.assertTrue(underlines)
        self.assertTrue(all(v.startswith(" " * 13) for v in underlines), underlines)

    def test_font_not_found(self):
        wav = noise(self.path("nofont.wav"), 3.5)
        missing = self.path("no-font.ttf")
        r = run(["-m", self.model, *FAST, "-owts", "-otxt", "-fp", missing, wav])
        self.assertEqual(r.rc, 0, r)
        self.assertIn(f"output_wts: font not found at '{missing}', please specify a monospace font with -fp\n",
                      r.err_text)
        self.assertEqual(read_text(wav + ".wts"), "")
        self.assertTrue(read_text(wav + ".txt"))

    def test_font_is_checked_again_for_every_input(self):
        font = self.path("font.ttf")
        shutil.copy(FONT, font)
        first = noise(self.path("first.wav"), 3.5)
        second = noise(self.path("second.wav"), 3.5)
        proc = subprocess.Popen([SPEECH, "-m", self.model, *FAST, "-owts", "-fp", font, first, "-of", "", "-of",
                                 self.path("second"), "-"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        deadline = time.time() + 120
        while not (os.path.exists(first + ".wts") and os.path.getsize(first + ".wts") > 0):
            self.assertLess(time.time(), deadline)
            time.sleep(0.1)
        time.sleep(0.2)
        os.unlink(font)  # gone before the second input (standard input) is read
        with open(second, "rb") as f:
            out, err = proc.communicate(f.read(), timeout=120)
        self.assertEqual(proc.returncode, 0, err)
        self.assertIn(b"font not found", err)
        self.assertGreater(os.path.getsize(first + ".wts"), 0)
        self.assertEqual(read_text(self.path("second") + ".wts"), "")


if __name__ == "__main__":
    unittest.main()
