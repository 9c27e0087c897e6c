"""Grammars on the command line: parsed, listed, and constraining the decode from a start rule."""
import re
import unittest

from speechtest import TempDirTest, make_model, run
from test_outputs import noise
from test_transcribe import BASIC, FAST, LIVE

WORLD = 'root ::= " world"'
WORLD_LISTING = "main: grammar:\nroot ::= [ ] [w] [o] [r] [l] [d] \n\n"


def sample_runs(err):
    return int(re.search(r"sample time =\s*[\d.]+ ms /\s*(\d+) runs", err)[1])


class Grammar(TempDirTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.model = make_model(cls.path("basic.bin"), BASIC)
        cls.wav = noise(cls.path("in.wav"), 8.5)

    def speech(self, *args):
        return run(["-m", self.model, *FAST, *args, self.wav])

    def test_listing_inline_and_from_file(self):
        r = self.speech("-np", "--grammar", WORLD)
        self.assertEqual(r.rc, 0, r)
        self.assertEqual(r.err_text, WORLD_LISTING)  # printed even with -np
        path = self.write("g.gbnf", "# a comment\nroot ::= item+\nitem ::= [a-c] | \"x\"\n")
        r = self.speech("-np", "--grammar", path)
        self.assertEqual(r.err_text, "main: grammar:\nroot ::= root_2 \nitem ::= [a-c] | [x] \n"
                                     "root_2 ::= item root_2 | item \n\n")

    def test_unparsable_grammars(self):
        for text, reason in [("root ::= \"unterminated", "unexpected end of input"),
                             ("root ::= [a-", "unexpected end of input"),
                             ("root ::= * \"a\"", "expecting preceding item"),
                             ("   \n# only a comment\n", None)]:
            with self.subTest(text=text):
                r = self.speech("--grammar", text)
                self.assertEqual(r.rc, 4, r)
                self.assertTrue(r.err_text.endswith(f"error: failed to parse grammar \"{text}\"\n"), r)
                if reason:
                    self.assertIn(reason, r.err_text)

    def test_undefined_rule_is_refused_before_decoding(self):
        r = self.speech("--grammar", 'root ::= foo " world"', "--grammar-rule", "root")
        self.assertEqual(r.rc, 4, r)
        self.assertIn("error: grammar rule 'foo' is used but never defined\n", r.err_text)
        self.assertNotIn("main: processing", r.err_text)

    def test_grammar_constrains_the_decode(self):
        # The model insists on " Hello"; with a penalty that outweighs its logits, the grammar
        # leaves " world" as the only text the decoder may produce.
        r = self.speech("--grammar", WORLD, "--grammar-rule", "root", "--grammar-penalty", "1000")
        self.assertEqual(r.rc, 0, r)
        self.assertRegex(r.out_text, r"^\n\[00:00:00\.000 --> [\d:.]+\]   world\n$")
        r = self.speech("--grammar", WORLD, "--grammar-rule", "root", "--grammar-penalty", "1")
        self.assertEqual(r.out_text, LIVE)

    def test_rule_selects_beam_search_even_when_missing(self):
        greedy = self.speech()
        self.assertEqual(sample_runs(greedy.err_text), 1)  # greedy samples once per window
        r = self.speech("--grammar", WORLD, "--grammar-rule", "nope")
        self.assertEqual(r.rc, 0, r)
        self.assertIn("main: warning: grammar rule 'nope' not found - skipping grammar sampling\n", r.err_text)
        self.assertEqual(r.out_text, LIVE)
        self.assertGreater(sample_runs(r.err_text), 1)  # beam search samples per step
        unused = self.speech("--grammar", WORLD)  # no start rule: parsed and listed, not used
        self.assertEqual(unused.out_text, LIVE)
        self.assertEqual(sample_runs(unused.err_text), 1)


if __name__ == "__main__":
    unittest.main()
