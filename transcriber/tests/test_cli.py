"""Command line, help text, response files and start-up checks of LumivaneSpeech."""
import os
import unittest

from speechtest import TempDirTest, make_model, read_bytes, run, sine_wav

DEFAULT_THREADS = min(4, os.cpu_count())


def expected_help(program, **values):
    v = {
        "threads": DEFAULT_THREADS, "device": 0, "language": "en", "vmsd": "FLT_MAX",
        "ojf": "false", "oj": "false", "model": "models/ggml-base.en.bin",
    }
    v.update(values)
    t = f"{v['threads']:<7d}"
    return (
        "\n"
        f"usage: {program} [options] file0 file1 ...\n"
        "supported audio formats: flac, mp3, ogg, wav\n"
        "\n"
        "options:\n"
        "  -h,        --help                 [default] show this help message and exit\n"
        "             --version              show version information and exit\n"
        f"  -t N,      --threads N            [{t}] number of threads to use during computation\n"
        "  -p N,      --processors N         [1      ] number of processors to use during computation\n"
        "  -ot N,     --offset-t N           [0      ] time offset in milliseconds\n"
        "  -on N,     --offset-n N           [0      ] segment index offset\n"
        "  -d  N,     --duration N           [0      ] duration of audio to process in milliseconds\n"
        "  -mc N,     --max-context N        [-1     ] maximum number of text context tokens to store\n"
        "  -ml N,     --max-len N            [0      ] maximum segment length in characters\n"
        "  -sow,      --split-on-word        [false  ] split on word rather than on token\n"
        "  -bo N,     --best-of N            [5      ] number of best candidates to keep\n"
        "  -bs N,     --beam-size N          [5      ] beam size for beam search\n"
        "  -ac N,     --audio-ctx N          [0      ] audio context size (0 - all)\n"
        "  -wt N,     --word-thold N         [0.01   ] word timestamp probability threshold\n"
        "  -et N,     --entropy-thold N      [2.40   ] entropy threshold for decoder fail\n"
        "  -lpt N,    --logprob-thold N      [-1.00  ] log probability threshold for decoder fail\n"
        "  -nth N,    --no-speech-thold N    [0.60   ] no speech threshold\n"
        "  -tp,       --temperature N        [0.00   ] The sampling temperature, between 0 and 1\n"
        "  -tpi,      --temperature-inc N    [0.20   ] The increment of temperature, between 0 and 1\n"
        "  -debug,    --debug-mode           [false  ] enable debug mode (eg. dump log_mel)\n"
        "  -tr,       --translate            [false  ] translate from source language to english\n"
        "  -di,       --diarize              [false  ] stereo audio diarization\n"
        "  -tdrz,     --tinydiarize          [false  ] enable tinydiarize (requires a tdrz model)\n"
        "  -nf,       --no-fallback          [false  ] do not use temperature fallback while decoding\n"
        "  -otxt,     --output-txt           [false  ] output result in a text file\n"
        "  -ovtt,     --output-vtt           [false  ] output result in a vtt file\n"
        "  -osrt,     --output-srt           [false  ] output result in a srt file\n"
        "  -olrc,     --output-lrc           [false  ] output result in a lrc file\n"
        "  -owts,     --output-words         [false  ] output script for generating karaoke video\n"
        "  -fp,       --font-path            [/System/Library/Fonts/Supplemental/Courier New Bold.ttf] path to a monospace font for karaoke video\n"
        "  -ocsv,     --output-csv           [false  ] output result in a CSV file\n"
        f"  -oj,       --output-json          [{v['oj']:<7}] output result in a JSON file\n"
        f"  -ojf,      --output-json-full     [{v['ojf']:<7}] include more information in the JSON file\n"
        "  -of FNAME, --output-file FNAME    [       ] output file path (without file extension)\n"
        "  -np,       --no-prints            [false  ] do not print anything other than the results\n"
        "  -ps,       --print-special        [false  ] print special tokens\n"
        "  -pc,       --print-colors         [false  ] print colors\n"
        "             --print-confidence     [false  ] print confidence\n"
        "  -pp,       --print-progress       [false  ] print progress\n"
        "  -nt,       --no-timestamps        [false  ] do not print timestamps\n"
        f"  -l LANG,   --language LANG        [{v['language']:<7}] spoken language ('auto' for auto-detect)\n"
        "  -dl,       --detect-language      [false  ] exit after automatically detecting language\n"
        "             --prompt PROMPT        [       ] initial prompt (max n_text_ctx/2 tokens)\n"
        "             --carry-initial-prompt [false  ] always prepend initial prompt\n"
        f"  -m FNAME,  --model FNAME          [{v['model']:<7}] model path\n"
        "  -f FNAME,  --file FNAME           [       ] input audio file path\n"
        "  -oved D,   --ov-e-device DNAME    [CPU    ] the OpenVINO device used for encode inference\n"
        "  -dtw MODEL --dtw MODEL            [       ] compute token-level timestamps\n"
        "  -ls,       --log-score            [false  ] log best decoder scores of tokens\n"
        "  -ng,       --no-gpu               [false  ] disable GPU\n"
        f"  -dev N,    --device N             [{v['device']:<7d}] GPU device ID (default: 0)\n"
        "  -fa,       --flash-attn           [true   ] enable flash attention\n"
        "  -nfa,      --no-flash-attn        [false  ] disable flash attention\n"
        "  -sns,      --suppress-nst         [false  ] suppress non-speech tokens\n"
        "  --suppress-regex REGEX            [       ] regular expression matching tokens to suppress\n"
        "  --grammar GRAMMAR                 [       ] GBNF grammar to guide decoding\n"
        "  --grammar-rule RULE               [       ] top-level GBNF grammar rule name\n"
        "  --grammar-penalty N               [100.0  ] scales down logits of nongrammar tokens\n"
        "\nVoice Activity Detection (VAD) options:\n"
        "             --vad                           [false  ] enable Voice Activity Detection (VAD)\n"
        "  -vm FNAME, --vad-model FNAME               [       ] VAD model path\n"
        "  -vt N,     --vad-threshold N               [0.50   ] VAD threshold for speech recognition\n"
        "  -vspd N,   --vad-min-speech-duration-ms  N [250    ] VAD min speech duration (0.0-1.0)\n"
        "  -vsd N,    --vad-min-silence-duration-ms N [100    ] VAD min silence duration (to split segments)\n"
        f"  -vmsd N,   --vad-max-speech-duration-s   N [{v['vmsd']:<7}] VAD max speech duration (auto-split longer)\n"
        "  -vp N,     --vad-speech-pad-ms           N [30     ] VAD speech padding (extend segments)\n"
        "  -vo N,     --vad-samples-overlap         N [0.10   ] VAD samples overlap (seconds between segments)\n"
        "\n"
    )


def help_line(text, option):
    """The help-text line of an option, for checking one parsed value."""
    for line in text.splitlines():
        if option in line:
            return line
    raise AssertionError(f"no help line for {option}")


class HelpAndVersion(TempDirTest):
    def test_help_alone_shows_all_defaults(self):
        r = run(["-h"])
        self.assertEqual(r.rc, 0)
        self.assertEqual(r.out, b"")
        from speechtest import SPEECH
        self.assertEqual(r.err_text, expected_help(SPEECH))

    def test_help_shows_values_parsed_so_far_and_ignores_the_rest(self):
        r = run(["-t", "2", "-h", "--bogus", "-m"])
        self.assertEqual(r.rc, 0)
        self.assertIn("[2      ] number of threads", r.err_text)
        self.assertNotIn("unknown argument", r.err_text)
        self.assertNotIn("requires value", r.err_text)

    def test_version_line_on_stdout(self):
        r = run(["--version", "-h"])
        self.assertEqual(r.rc, 0)
        self.assertRegex(r.out_text, r"^whisper\.cpp version: 1\.9\.\d+(-dev)?\n$")
        self.assertEqual(r.err, b"")

    def test_parsed_values_as_shown_by_help(self):
        cases = [
            (["-l", "EN"], "--language", "[en     ]"),
            (["-l", "Auto"], "--language", "[auto   ]"),
            (["-l", "-f"], "--language", "[-f     ]"),
            (["-ojf"], "--output-json-full", "[true   ]"),
            (["-ojf"], "--output-json ", "[true   ]"),
            (["-ojf", "-oj"], "--output-json-full", "[true   ]"),
            (["-t", "8x"], "--threads", "[8      ]"),
            (["-t", " +3"], "--threads", "[3      ]"),
            (["-t", "2", "-t", "3"], "--threads", "[3      ]"),
            (["-vmsd", "30"], "--vad-max-speech-duration-s", "[30.000000]"),
            (["-wt", "0.5x"], "--word-thold", "[0.50   ]"),
            (["-ng"], "--no-gpu", "[true   ]"),
            (["-nfa"], "--no-flash-attn", "[true   ]"),
            (["-nfa"], "--flash-attn ", "[false  ]"),
            (["-nfa", "-fa"], "--no-flash-attn", "[false  ]"),
            (["-of", "x", "-f", "y"], "--output-file", "[       ]"),
            (["--print-confidence"], "--print-confidence", "[true   ]"),
            (["--grammar-penalty", "2.25"], "--grammar-penalty", "[2.2    ]"),
            (["-m", "some/much/longer/model/path.bin"], "--model", "[some/much/longer/model/path.bin]"),
        ]
        for args, option, shown in cases:
            with self.subTest(args=args):
                r = run(args + ["-h"])
                self.assertEqual(r.rc, 0)
                self.assertIn(shown, help_line(r.err_text, option))

    def test_device_from_environment_and_command_line(self):
        r = run(["-h"], env={"WHISPER_ARG_DEVICE": "1"})
        self.assertIn("[1      ] GPU device ID", r.err_text)
        r = run(["-dev", "2", "-h"], env={"WHISPER_ARG_DEVICE": "1"})
        self.assertIn("[2      ] GPU device ID", r.err_text)
        r = run(["-h"], env={"WHISPER_ARG_DEVICE": ""})  # set but empty: unset
        self.assertEqual(r.rc, 0)
        self.assertIn("[0      ] GPU device ID", r.err_text)
        self.assertNotIn("error:", r.err_text)


class ParseErrors(TempDirTest):
    def test_unknown_arguments(self):
        for arg in ["--threads=4", "--", "-x", "-H", "--Help", "-otxt2"]:
            with self.subTest(arg=arg):
                r = run([arg, "a.wav"])
                self.assertEqual(r.rc, 0)
                self.assertTrue(r.err_text.startswith(f"error: unknown argument: {arg}\n\nusage: "), r)
                self.assertEqual(r.out, b"")

    def test_option_without_value(self):
        for arg in ["-m", "--model", "-l", "-f", "-of", "--grammar", "-vmsd", "-t"]:
            with self.subTest(arg=arg):
                r = run(["a.wav", arg])
                self.assertEqual(r.rc, 0)
                self.assertEqual(r.err_text, f"error: argument {arg} requires value\n")

    def test_numeric_values_that_are_not_numbers(self):
        cases = [
            (["-t", "abc"], "-t", "abc"),
            (["--threads", ""], "--threads", ""),
            (["-p", "99999999999"], "-p", "99999999999"),
            (["-ot", "-2147483649"], "-ot", "-2147483649"),
            (["-wt", "x1"], "-wt", "x1"),
            (["--grammar-penalty", "1e999"], "--grammar-penalty", "1e999"),
            # Values the engine cannot take, refused before any model is looked at.
            (["-t", "0"], "-t", "0"),
            (["-t", "-1"], "-t", "-1"),
            (["--threads", "513"], "--threads", "513"),
            (["-p", "0"], "-p", "0"),
            (["-p", "-1"], "-p", "-1"),
            (["-tp", "2"], "-tp", "2"),
            (["--temperature", "nan"], "--temperature", "nan"),
            (["-tpi", "1e-9"], "-tpi", "1e-9"),
            (["--suppress-regex", "["], "--suppress-regex", "["),
        ]
        for args, option, value in cases:
            with self.subTest(args=args):
                r = run(args + ["a.wav"])
                self.assertEqual(r.rc, 0)
                line = r.err_text.splitlines()[0]
                self.assertTrue(line.startswith(f"error: argument {option}: "), r)
                self.assertTrue(line.endswith(f"'{value}'"), r)
                self.assertNotIn("usage:", r.err_text)

    def test_bad_device_variable(self):
        r = run(["a.wav"], env={"WHISPER_ARG_DEVICE": "gpu"})
        self.assertEqual(r.rc, 0)
        self.assertEqual(r.err_text, "error: argument WHISPER_ARG_DEVICE: expected an integer, got 'gpu'\n")

    def test_edge_numbers_are_accepted(self):
        r = run(["-ot", "2147483647", "-on", "-2147483648", "-tp", "1e-50", "-h"])
        self.assertEqual(r.rc, 0)
        self.assertIn("[2147483647] time offset", r.err_text)
        self.assertIn("[-2147483648] segment index offset", r.err_text)


class ResponseFiles(TempDirTest):
    def test_four_lines_behave_like_arguments(self):
        rsp = self.write("args.txt", "-m\nm.bin\n-otxt\n-h\n")
        r = run(["@" + rsp])
        self.assertEqual(r.rc, 0)
        self.assertIn("[m.bin  ] model path", r.err_text)
        self.assertIn("[true   ] output result in a text file", r.err_text)

    def test_usage_line_keeps_program_name(self):
        rsp = self.write("help.txt", "-h")  # final line without a line feed counts
        r = run(["@" + rsp])
        from speechtest import SPEECH
        self.assertIn(f"usage: {SPEECH} [options]", r.err_text)

    def test_missing_response_file(self):
        r = run(["@" + self.path("nope.txt")])
        self.assertEqual(r.rc, 1)
        self.assertEqual(r.err_text, f"error: response file '{self.path('nope.txt')}' not found\n")
        r = run(["@" + self.tmp])  # a directory is not a response file
        self.assertEqual(r.rc, 1)

    def test_lines_are_taken_verbatim(self):
        # An empty line is an (empty, missing) input, "@" inside the file is an ordinary
        # argument, and the line feed at the very end starts no further argument.
        rsp = self.write("raw.txt", "x.wav\n\n@other\n")
        r = run(["@" + rsp])
        self.assertEqual(r.rc, 2)
        self.assertEqual(r.err_text.splitlines()[:4], [
            "error: input file not found 'x.wav'",
            "error: input file not found ''",
            "error: input file not found '@other'",
            "error: no input files specified",
        ])
        # A carriage return stays part of the argument.
        r = run(["@" + self.write("cr.txt", "-l\nDE\r\n-h\n")])
        self.assertIn("[de\r    ] spoken language", r.err_text)

    def test_not_expanded_with_other_arguments(self):
        rsp = self.write("args2.txt", "-h\n")
        r = run(["@" + rsp, "-m", "m.bin"])
        self.assertEqual(r.rc, 2)
        self.assertIn(f"error: input file not found '@{rsp}'", r.err_text)


class StartupChecks(TempDirTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.wav = sine_wav(cls.path("tone.wav"), seconds=1)
        cls.garbage = cls.write("garbage.bin", b"not a model at all" * 100)

    def test_every_input_missing(self):
        r = run(["-m", self.garbage, self.path("a.wav"), "-f", self.path("b.wav")])
        self.assertEqual(r.rc, 2)
        lines = r.err_text.splitlines()
        self.assertEqual(lines[0], f"error: input file not found '{self.path('a.wav')}'")
        self.assertEqual(lines[1], f"error: input file not found '{self.path('b.wav')}'")
        self.assertEqual(lines[2], "error: no input files specified")
        self.assertIn("usage: ", r.err_text)
        self.assertNotIn("input file(s) failed", r.err_text)

    def test_directory_is_not_an_input(self):
        r = run(["-m", self.garbage, self.tmp])
        self.assertEqual(r.rc, 2)
        self.assertIn(f"error: input file not found '{self.tmp}'", r.err_text)

    def test_model_missing_or_unloadable(self):
        r = run(["-m", self.path("none.bin"), self.wav])
        self.assertEqual(r.rc, 3)
        self.assertTrue(r.err_text.startswith(f"error: model file not found '{self.path('none.bin')}'\n\nusage:"), r)
        r = run(["-m", self.tmp, self.wav])
        self.assertEqual(r.rc, 3)
        r = run(["-m", self.garbage, self.wav])
        self.assertEqual(r.rc, 3)
        self.assertTrue(r.err_text.endswith("error: failed to initialize whisper context\n"), r)
        empty = self.write("empty.bin", b"")
        r = run(["-m", empty, self.wav])
        self.assertEqual(r.rc, 3)
        self.assertTrue(r.err_text.endswith("error: failed to initialize whisper context\n"), r)
        # A valid model cut short never loads, wherever the cut falls.
        data = read_bytes(make_model(self.path("whole.bin"), {"segments": [{"t0": 0, "t1": 100, "tokens": [" Hi"]}]}))
        for size in [1000, 70_000, 200_000, len(data) - 1]:
            with self.subTest(size=size):
                cut = self.write(f"cut{size}.bin", data[:size])
                r = run(["-m", cut, self.wav])
                self.assertEqual(r.rc, 3, r)
                self.assertTrue(r.err_text.endswith("error: failed to initialize whisper context\n"), r)

    def test_unknown_language_before_model_load(self):
        r = run(["-m", self.garbage, "-l", "xx", self.wav])
        self.assertEqual(r.rc, 0)
        self.assertIn("error: unknown language 'xx'\n\nusage:", r.err_text)
        self.assertNotIn("failed to initialize", r.err_text)

    def test_diarize_with_tinydiarize(self):
        r = run(["-m", self.garbage, "-di", "-tdrz", self.wav])
        self.assertEqual(r.rc, 0)
        self.assertTrue(r.err_text.startswith("error: cannot use both --diarize and --tinydiarize\n\nusage:"), r)

    def test_unknown_dtw_preset(self):
        for name in ["Tiny", "tiny.EN", "large-v3"]:
            with self.subTest(name=name):
                r = run(["-m", self.garbage, "-dtw", name, self.wav])
                self.assertEqual(r.rc, 3)
                self.assertEqual(r.err_text.splitlines()[-1], f"error: unknown DTW preset '{name}'")

    def test_no_prints_keeps_errors(self):
        r = run(["-np", "-m", self.garbage, self.wav])
        self.assertEqual(r.rc, 3)
        self.assertEqual(r.err_text, "error: failed to initialize whisper context\n")


if __name__ == "__main__":
    unittest.main()
