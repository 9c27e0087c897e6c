"""Exit statuses and messages of LumivanePages, each step's failure in turn."""

import json
import os
import resource
import stat
import unittest

from pages_harness import INPUT_REFUSED, PagesTestCase, returning, returning_json

HELLO = returning("new Uint8Array([72, 105])")


class Arguments(PagesTestCase):
    def test_not_three_arguments_gives_2_silently(self):
        script = self.write("bundle.js", HELLO)
        out = self.path("out.bin")
        for args in ([], [script], [script, script], [script, script, out, out]):
            with self.subTest(count=len(args)):
                self.assertEqual(self.run_program(*args), (2, b"", b""))
        self.assertFalse(os.path.exists(out))


class Input(PagesTestCase):
    def test_unreadable_input_gives_3_and_the_message(self):
        script = self.write("bundle.js", HELLO)
        for name, path in (("missing", self.path("missing.json")), ("directory", self.dir)):
            with self.subTest(name):
                status, stdout, stderr = self.run_program(script, path, self.path("out.bin"))
                self.assertEqual((status, stdout, stderr), (3, b"", INPUT_REFUSED))

    def test_input_is_checked_before_the_script(self):
        status, _, stderr = self.run_program(
            self.path("no-script.js"), self.path("no-input.json"), self.path("out.bin"))
        self.assertEqual((status, stderr), (3, INPUT_REFUSED))

    def test_input_that_is_not_utf8_gives_4_silently(self):
        cases = {
            "invalid byte": b'{"a":"\xff"}',
            "stray continuation": b'{"a":"\x80"}',
            "overlong slash": b'{"a":"\xc0\xaf"}',
            "overlong three bytes": b'{"a":"\xe0\x80\xaf"}',
            "encoded surrogate": b'{"a":"\xed\xa0\x80"}',
            "above U+10FFFF": b'{"a":"\xf4\x90\x80\x80"}',
            "truncated at the end": b'{"a":1}\xe2\x82',
            "latin-1 text": '{"a":"ação"}'.encode("latin-1"),
        }
        for name, data in cases.items():
            with self.subTest(name):
                self.assertStatus(self.run_bundle(HELLO, data), 4)

    def test_valid_utf8_reaches_the_script_unchanged(self):
        text = '{"s":"a\u00e9\u20ac\U0001F600\u0000z"}'.replace("\u0000", "\\u0000")
        run = self.run_bundle(returning("new TextEncoder().encode(__inputJson)"), text.encode())
        self.assertStatus(run, 0)
        self.assertEqual(run.output, text.encode())

    def test_a_leading_byte_order_mark_is_dropped(self):
        run = self.run_bundle(returning_json("[doc, __inputJson.length]"),
                              b'\xef\xbb\xbf{"k":"v"}')
        self.assertStatus(run, 0)
        self.assertEqual(json.loads(run.output), [{"k": "v"}, 9])


class Script(PagesTestCase):
    def test_unreadable_or_non_utf8_script_gives_4_silently(self):
        input_path = self.write("input.json", "{}")
        bad = self.write("bad.js", b"function lumivanePages(){return new Uint8Array([1])}//\xe9\n")
        for name, path in (("missing", self.path("missing.js")), ("directory", self.dir),
                           ("latin-1", bad)):
            with self.subTest(name):
                status, stdout, stderr = self.run_program(path, input_path, self.path("o"))
                self.assertEqual((status, stdout, stderr), (4, b"", b""))

    def test_nul_and_astral_characters_in_the_script_survive(self):
        script = returning_json("['a\u0000b'.length, '\U0001F600'.length, '\u00e9']")
        run = self.run_bundle(script)
        self.assertStatus(run, 0)
        self.assertEqual(json.loads(run.output), [3, 2, "\u00e9"])


class Exceptions(PagesTestCase):
    """Only the latest exception is kept, and any exception at all ends with status 5."""

    def test_reported_text(self):
        cases = [
            ("top-level throw hides behind the entry call",
             "throw new Error('bundle broke');\nglobalThis.lumivanePages = () => new Uint8Array(1);",
             "{}", "ReferenceError: Can't find variable: lumivanePages"),
            ("syntax error in the bundle", "function lumivanePages( {", "{}",
             "ReferenceError: Can't find variable: lumivanePages"),
            ("hoisted entry survives a top-level throw",
             "throw new RangeError('late');\nfunction lumivanePages(){return new Uint8Array(1)}",
             "{}", "RangeError: late"),
            ("top level reads the input too early",
             "const early = __inputJson;\nfunction lumivanePages(){return new Uint8Array(1)}",
             "{}", "ReferenceError: Can't find variable: __inputJson"),
            ("entry function throws", "function lumivanePages(d){throw new TypeError(d.why)}",
             '{"why":"ça ne va pas"}', "TypeError: ça ne va pas"),
            ("entry is not a function", "var lumivanePages = 3;", "{}",
             "TypeError: lumivanePages is not a function. (In 'lumivanePages(JSON.parse"
             "(__inputJson))', 'lumivanePages' is 3)"),
            ("thrown plain value", "function lumivanePages(){throw 'plain words'}", "{}",
             "plain words"),
            ("thrown value whose toString throws",
             "function lumivanePages(){throw {toString(){throw new Error('inner')}}}", "{}",
             "Error: inner"),
            ("no string form at all",
             "function lumivanePages(){throw {toString(){throw {toString(){throw 1}}}}}", "{}",
             "exception without a string form"),
            ("deep recursion", "function lumivanePages(){return lumivanePages()}", "{}",
             "RangeError: Maximum call stack size exceeded."),
        ]
        for name, script, input_json, text in cases:
            with self.subTest(name):
                run = self.run_bundle(script, input_json)
                self.assertStatus(run, 5, f"Pages: {text}\n".encode())
                self.assertIsNone(run.output)

    def test_json_syntax_errors_report_the_parser(self):
        # A NUL byte must not cut the text short into valid JSON.
        for text in (b"{", b"", b"{'a':1}", b"[1,]", b'{"a":1} trailing', "\u00a0{}".encode(),
                     b'{"a":1}\x00{"b":2}', b'"\x00"'):
            with self.subTest(text=text):
                run = self.run_bundle(HELLO, text)
                self.assertEqual(run.status, 5)
                self.assertTrue(run.stderr.startswith(b"Pages: SyntaxError: JSON Parse error:"),
                                run.stderr)
                self.assertTrue(run.stderr.endswith(b"\n"))

    def test_an_exception_caught_by_the_bundle_is_not_reported(self):
        script = returning("(() => { try { null.x } catch (e) {} return new Uint8Array([7]) })()")
        run = self.run_bundle(script)
        self.assertStatus(run, 0)
        self.assertEqual(run.output, b"\x07")

    def test_exception_text_keeps_nul_and_replaces_lone_surrogates(self):
        run = self.run_bundle("function lumivanePages(){throw 'a\\u0000b\\uD800c'}")
        self.assertStatus(run, 5, b"Pages: a\x00b\xef\xbf\xbdc\n")


class Results(PagesTestCase):
    def test_results_that_are_not_a_document_give_6_silently(self):
        cases = {
            "Promise": "Promise.resolve(new Uint8Array([1]))",
            "async function": "(async () => new Uint8Array([1]))()",
            "ArrayBuffer": "new Uint8Array([1, 2]).buffer",
            "string": "'PK'",
            "undefined": "undefined",
            "null": "null",
            "number": "42",
            "plain array": "[80, 75]",
            "DataView": "new DataView(new Uint8Array([80, 75]).buffer)",
            "plain object": "({byteLength: 2, length: 2, 0: 1, 1: 2})",
            "empty Uint8Array": "new Uint8Array(0)",
            "empty view of a full buffer": "new Uint8Array(8).subarray(8)",
            "detached array": "(() => { const a = new Uint8Array(8); a.buffer.transfer(); return a })()",
        }
        for name, expression in cases.items():
            with self.subTest(name):
                run = self.run_bundle(returning(expression))
                self.assertStatus(run, 6)
                self.assertIsNone(run.output)

    def test_typed_arrays_are_written_byte_for_byte(self):
        cases = {
            "Uint8Array": ("new Uint8Array([0, 80, 75, 255])", b"\x00PK\xff"),
            "Int16Array": ("new Int16Array([1, -2])", b"\x01\x00\xfe\xff"),
            "Float32Array": ("new Float32Array([1])", b"\x00\x00\x80\x3f"),
            "view into a larger buffer": ("new Uint8Array([9, 8, 7, 6, 5]).subarray(1, 3)",
                                          b"\x08\x07"),
            "view at an offset": ("new Uint8Array(new Uint8Array([1, 2, 3, 4]).buffer, 2)",
                                  b"\x03\x04"),
            "Uint8ClampedArray": ("Uint8ClampedArray.from([300, -5])", b"\xff\x00"),
        }
        for name, (expression, expected) in cases.items():
            with self.subTest(name):
                run = self.run_bundle(returning(expression))
                self.assertStatus(run, 0)
                self.assertEqual(run.output, expected)


class Output(PagesTestCase):
    def test_unwritable_output_gives_7_silently(self):
        blocker = self.write("a-file", "not a directory")
        os.mkdir(self.path("a-directory"))
        cases = {
            "directory missing": self.path("missing/out.pages"),
            "parent is a file": os.path.join(blocker, "out.pages"),
            "output is a directory": self.path("a-directory"),
            "trailing slash": self.path("out.pages") + "/",
        }
        for name, output in cases.items():
            with self.subTest(name):
                run = self.run_bundle(HELLO, output=output)
                self.assertStatus(run, 7)
        self.assertEqual(os.listdir(self.path("a-directory")), [])
        with open(blocker) as f:
            self.assertEqual(f.read(), "not a directory")

    def test_a_failed_write_leaves_the_existing_file_and_no_temporary(self):
        target = self.write("doc.pages", "the previous document")

        def limit_file_size():
            resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))

        run = self.run_bundle(returning("new Uint8Array(1 << 20).fill(65)"), output=target,
                              preexec_fn=limit_file_size)
        self.assertStatus(run, 7)
        self.assertEqual(run.output, b"the previous document")
        self.assertEqual(sorted(os.listdir(self.dir)), ["bundle.js", "doc.pages", "input.json"])

    def test_success_replaces_the_file_whole_with_default_permissions(self):
        target = self.write("doc.pages", "x" * 100000)
        os.chmod(target, 0o600)
        old_mask = os.umask(0o027)
        try:
            run = self.run_bundle(HELLO, output=target)
        finally:
            os.umask(old_mask)
        self.assertStatus(run, 0)
        self.assertEqual(run.output, b"Hi")
        self.assertEqual(stat.S_IMODE(os.stat(target).st_mode), 0o640)
        self.assertEqual(sorted(os.listdir(self.dir)), ["bundle.js", "doc.pages", "input.json"])

    def test_a_relative_output_path_lands_in_the_working_directory(self):
        script = self.write("bundle.js", HELLO)
        input_path = self.write("input.json", "{}")
        status, _, _ = self.run_program(script, input_path, "rel.pages", cwd=self.dir)
        self.assertEqual(status, 0)
        with open(self.path("rel.pages"), "rb") as f:
            self.assertEqual(f.read(), b"Hi")


if __name__ == "__main__":
    unittest.main()
