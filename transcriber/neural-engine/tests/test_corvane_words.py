"""End to end: with the Corvane add-on on, the transcript follows the encoder output that
the stand-in's program computes from the mel and positional inputs."""
import json
import unittest

from test_corvane_speech import FAST, SAMPLE_LIVE, SAMPLE_SCRIPT, STANDIN, encoder_dir
from speechtest import TempDirTest, make_model, run, sine_wav, tool

# The sample whose first word is " Hello" instead of " And" when feature 5 of the encoder
# output is 1 on average; the model's own encoder keeps that feature at 0.
SWITCH_FEATURE = 5
HELLO_LIVE = SAMPLE_LIVE.replace("   And so,", "   Hello so,")


class EncoderOutputDecides(TempDirTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        with open(SAMPLE_SCRIPT) as f:
            script = json.load(f)
        script["encoder_word"] = {"feature": SWITCH_FEATURE, "token": " Hello"}
        cls.model = make_model(cls.path("switch.bin"), script)
        cls.tone = sine_wav(cls.path("tone.wav"), seconds=10)
        cls.silence = cls.path("silence.wav")
        tool("sox", "-n", "-r", "16000", "-c", "1", "-b", "16", cls.silence, "trim", "0", "10")

    def transcribe(self, encoder, audio, *args):
        env = {"CORVANE_ENCODER": encoder, "CORVANE_DYLIB": STANDIN} if encoder else {}
        return run(["-m", self.model, *FAST, *args, audio], env=env)

    def test_the_words_follow_the_programs_output(self):
        f = SWITCH_FEATURE
        cases = [
            # name, encoder directory (None: the engine's own encoder), audio, transcript
            ("own encoder", None, self.tone, SAMPLE_LIVE),
            ("own encoder, silence", None, self.silence, SAMPLE_LIVE),
            ("program of zeros", encoder_dir(self.path("zeros")), self.tone, SAMPLE_LIVE),
            ("bias 1 on the feature", encoder_dir(self.path("bias"), features={f: (0, 0, 1)}), self.tone, HELLO_LIVE),
            ("bias 1 on another feature", encoder_dir(self.path("other"), features={f + 1: (0, 0, 1)}),
             self.tone, SAMPLE_LIVE),
            ("positional input", encoder_dir(self.path("pos"), features={f: (0, 1, 0)}, pos_feature=f),
             self.tone, HELLO_LIVE),
            # Digital silence makes every log-mel value -1.5: -1 x -1.5 - 0.5 = 1.
            ("mel input on silence", encoder_dir(self.path("mel"), features={f: (-1, 0, -0.5)}),
             self.silence, HELLO_LIVE),
        ]
        for name, encoder, audio, transcript in cases:
            with self.subTest(name):
                r = self.transcribe(encoder, audio)
                self.assertEqual(r.rc, 0, r)
                self.assertEqual(r.out_text, transcript)

    def test_every_parallel_part_uses_its_encoder(self):
        # Each of the two 5 s parts is transcribed from its own start, by its own state.
        encoder = encoder_dir(self.path("bias-p2"), features={SWITCH_FEATURE: (0, 0, 1)})
        r = self.transcribe(encoder, self.tone, "-p", "2")
        self.assertEqual(r.rc, 0, r)
        self.assertEqual(r.err_text.count("corvane: encoder ready"), 2)
        self.assertEqual(r.out_text.count(" Hello so,"), 2, r)
        self.assertNotIn(" And", r.out_text)
        plain = self.transcribe(None, self.tone, "-p", "2")
        self.assertEqual(plain.out_text.count(" And so,"), 2, plain)



if __name__ == "__main__":
    unittest.main()
