"""Size limits on input and output, and the CPU-time limit."""

import os
import subprocess
import threading
import time
import unittest

from pages_harness import INPUT_REFUSED, PROGRAM, PagesTestCase, returning

MAX_INPUT = 64 << 20
MAX_OUTPUT = 256 << 20
INPUT_LENGTH = returning("new TextEncoder().encode(String(doc.length))")


def json_string_of_size(size, tail=b""):
    """A JSON document of exactly `size` bytes: one string, then `tail` (whitespace)."""
    return b'"' + b"a" * (size - 2 - len(tail)) + b'"' + tail


class InputSize(PagesTestCase):
    def test_exactly_64_mib_is_accepted_and_one_byte_more_refused(self):
        run = self.run_bundle(INPUT_LENGTH, json_string_of_size(MAX_INPUT))
        self.assertStatus(run, 0)
        self.assertEqual(run.output, str(MAX_INPUT - 2).encode())

        run = self.run_bundle(INPUT_LENGTH, json_string_of_size(MAX_INPUT + 1, tail=b" "),
                              output=self.path("refused.bin"))
        self.assertStatus(run, 3, INPUT_REFUSED)
        self.assertIsNone(run.output)

    def _run_over_fifo(self, payload):
        script = self.write("bundle.js", INPUT_LENGTH)
        fifo = self.path("input.fifo")
        os.mkfifo(fifo)

        def feed():
            try:
                with open(fifo, "wb") as f:
                    f.write(payload)
            except BrokenPipeError:
                pass  # the program stopped reading once it had seen too much

        feeder = threading.Thread(target=feed)
        feeder.start()
        result = self.run_program(script, fifo, self.path("out.bin"))
        feeder.join()
        return result

    def test_a_stream_is_read_up_to_the_limit(self):
        self.assertEqual(self._run_over_fifo(b'"abc"'), (0, b"", b""))
        with open(self.path("out.bin"), "rb") as f:
            self.assertEqual(f.read(), b"3")
        os.unlink(self.path("input.fifo"))
        self.assertEqual(self._run_over_fifo(json_string_of_size(MAX_INPUT + 1, tail=b" ")),
                         (3, b"", INPUT_REFUSED))


class OutputSize(PagesTestCase):
    def test_256_mib_is_written_and_one_byte_more_refused(self):
        script = self.write("bundle.js", returning("new Uint8Array(doc.size).fill(0x5a)"))
        out = self.path("out.bin")
        for size, status in ((MAX_OUTPUT, 0), (MAX_OUTPUT + 1, 6)):
            with self.subTest(size=size):
                input_path = self.write("input.json", f'{{"size":{size}}}')
                self.assertEqual(self.run_program(script, input_path, out), (status, b"", b""))
        self.assertEqual(os.path.getsize(out), MAX_OUTPUT)
        with open(out, "rb") as f:
            f.seek(MAX_OUTPUT - 4)
            self.assertEqual(f.read(), b"ZZZZ")


class CpuLimit(PagesTestCase):
    def test_a_busy_bundle_runs_under_120_seconds_soft_and_hard(self):
        script = self.write("bundle.js", "function lumivanePages(){ for (;;) {} }")
        input_path = self.write("input.json", "{}")
        # Started from a parent without a limit, so whatever shows was set by the program.
        child = subprocess.Popen([PROGRAM, script, input_path, self.path("out.bin")],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            line = ""
            deadline = time.monotonic() + 30
            while time.monotonic() < deadline:
                with open(f"/proc/{child.pid}/limits") as f:
                    line = next(l for l in f if l.startswith("Max cpu time"))
                with open(f"/proc/{child.pid}/stat") as f:
                    cpu_ticks = sum(int(v) for v in f.read().rsplit(")", 1)[1].split()[11:13])
                if cpu_ticks > 20 and line.split()[3:6] == ["120", "120", "seconds"]:
                    break
                time.sleep(0.05)
            self.assertEqual(line.split()[3:6], ["120", "120", "seconds"], line)
            self.assertIsNone(child.poll(), "the busy bundle should still be running")
        finally:
            child.kill()
            child.wait()


if __name__ == "__main__":
    unittest.main()
