"""Size limits on input and output, and the CPU-time limit."""

import os
import resource
import signal
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


SLEEPING = ("function lumivanePages(){const m=new WebAssembly.Memory("
            "{initial:1,maximum:1,shared:true});Atomics.wait(new Int32Array(m.buffer),0,0)}")
BUSY = "function lumivanePages(){ for (;;) {} }"
GIB = 1 << 30


def inherited(**limits):
    """A preexec function that starts the program under lower inherited hard limits (the
    program never raises them), and without core files."""
    def apply():
        resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
        for name, value in limits.items():
            resource.setrlimit(getattr(resource, name), (value, value))
    return apply


class RunningBundle:
    """The program started over `script`, watched through /proc and killed once its
    resident memory passes `max_rss`, so that no test can take the machine's memory."""

    def __init__(self, case, script, max_rss=2 * GIB, **limits):
        self.max_rss = max_rss
        self.script = case.write("bundle.js", script)
        self.child = subprocess.Popen(
            [PROGRAM, self.script, case.write("input.json", "{}"), case.path("out.bin")],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, preexec_fn=inherited(**limits))
        self.peak_rss = 0

    def proc(self, name):
        with open(f"/proc/{self.child.pid}/{name}") as f:
            return f.read()

    def status_field(self, field):
        line = next(l for l in self.proc("status").splitlines() if l.startswith(field + ":"))
        return int(line.split()[1]) << 10

    def cpu_seconds(self):
        fields = self.proc("stat").rsplit(")", 1)[1].split()
        return sum(int(v) for v in fields[11:13]) / os.sysconf("SC_CLK_TCK")

    def wait(self, timeout=120):
        deadline = time.monotonic() + timeout
        while self.child.poll() is None:
            try:
                self.peak_rss = max(self.peak_rss, self.status_field("VmRSS"))
            except (FileNotFoundError, StopIteration, ProcessLookupError):
                pass
            if self.peak_rss > self.max_rss or time.monotonic() > deadline:
                self.child.kill()
            time.sleep(0.02)
        return self.child.returncode, self.child.stderr.read()

    def stop(self):
        if self.child.poll() is None:
            self.child.kill()
        self.child.wait()
        self.child.stderr.close()


class TimeLimits(PagesTestCase):
    def test_limits_and_timers_of_a_sleeping_run(self):
        # Started from a parent without limits, so whatever shows was set by the program.
        run = RunningBundle(self, SLEEPING)
        try:
            time.sleep(1.5)
            self.assertIsNone(run.child.poll(), "the sleeping bundle should still be running")
            limits = {l[:26].strip(): l[26:].split() for l in run.proc("limits").splitlines()}
            self.assertEqual(limits["Max cpu time"], ["120", "120", "seconds"])
            # Both time bounds signal SIGXCPU: one on process CPU time, one on the
            # monotonic clock (ClockID 1).
            lines = run.proc("timers").splitlines()
            clocks = [l.split()[1] for l in lines if l.startswith("ClockID:")]
            signals = {l.split()[1].split("/")[0] for l in lines if l.startswith("signal:")}
            self.assertEqual(sorted(clocks), ["-6", "1"], lines)
            self.assertEqual(signals, {"24"}, lines)
        finally:
            run.stop()

    def test_a_busy_bundle_ends_with_sigxcpu_just_before_the_hard_limit(self):
        run = RunningBundle(self, BUSY, RLIMIT_CPU=2)
        try:
            self.assertEqual(run.wait(), (-signal.SIGXCPU, b""))
        finally:
            run.stop()

    def test_a_sleeping_bundle_ends_after_five_times_the_cpu_limit_of_wall_clock(self):
        started = time.monotonic()
        run = RunningBundle(self, SLEEPING, RLIMIT_CPU=1)
        try:
            self.assertEqual(run.wait(), (-signal.SIGXCPU, b""))
            self.assertGreaterEqual(time.monotonic() - started, 5)
        finally:
            run.stop()


class MemoryLimit(PagesTestCase):
    def test_data_size_is_bounded_4_gib_above_the_engines_reservations(self):
        run = RunningBundle(self, SLEEPING)
        try:
            time.sleep(1.5)
            line = next(l for l in run.proc("limits").splitlines()
                        if l.startswith("Max data size"))
            soft, hard = (int(v) for v in line.split()[3:5])
            self.assertEqual(soft, hard)
            data = run.status_field("VmData")
            # The engine's address-space reservations are not counted as data.
            self.assertLess(data, 16 * GIB)
            self.assertGreaterEqual(hard - data, 4 * GIB - 256 * (1 << 20))
            self.assertLessEqual(hard - data, 4 * GIB)
        finally:
            run.stop()

    def test_allocating_beyond_the_bound_ends_the_script(self):
        # The real bound is reached: a lower inherited limit gives no smaller budget, as
        # the engine then reserves less at start-up and the bound stays 4 GiB above it.
        out_of_memory = (5, b"Pages: RangeError: Out of memory\n")
        cases = {
            "arrays of numbers":
                ("const a=[];for(;;)a.push(new Array(1e6).fill(1.5))", out_of_memory),
            "typed arrays": ("const a=[];for(;;)a.push(new Uint8Array(1e7).fill(1))",
                             out_of_memory),
            "strings": ("const a=[];for(let i=0;;i++)a.push('y'.repeat(1e6)+i)", out_of_memory),
            # Small objects exhaust memory where the engine cannot throw.
            "small objects": ("const a=[];for(let i=0;;i++)a.push({i,s:'x'+i,o:{}})",
                              (-signal.SIGXCPU, b"")),
        }
        for name, (body, expected) in cases.items():
            with self.subTest(name):
                run = RunningBundle(self, f"function lumivanePages(){{{body}}}",
                                    max_rss=5 * GIB)
                try:
                    self.assertEqual(run.wait(timeout=240), expected,
                                     f"peak RSS {run.peak_rss >> 20} MiB")
                    self.assertLess(run.peak_rss, 4 * GIB + 512 * (1 << 20))
                finally:
                    run.stop()


if __name__ == "__main__":
    unittest.main()
