"""Runs the built LumivanePages as the host does: three paths in, a file and a status out."""

import os
import subprocess
import tempfile
import unittest

PROGRAM = os.environ.get("LUMIVANE_PAGES", "")
INPUT_REFUSED = "O documento ultrapassa o limite de preparação do Pages.\n".encode()


class Run:
    def __init__(self, status, stdout, stderr, output):
        self.status = status
        self.stdout = stdout
        self.stderr = stderr
        self.output = output  # bytes of the output file, or None when there is none

    def __repr__(self):
        return f"Run(status={self.status}, stderr={self.stderr!r})"


def write_file(directory, name, data):
    if isinstance(data, str):
        data = data.encode()
    path = os.path.join(directory, name)
    with open(path, "wb") as f:
        f.write(data)
    return path


def run_program(*args, **popen_args):
    done = subprocess.run([PROGRAM, *args], capture_output=True, timeout=300, **popen_args)
    return done.returncode, done.stdout, done.stderr


def run_bundle_in(directory, script, input_json=b"{}", output=None, **popen_args):
    """Writes `script` and `input_json` (str or bytes) into `directory` and runs the program
    over them."""
    script_path = write_file(directory, "bundle.js", script)
    input_path = write_file(directory, "input.json", input_json)
    output = output or os.path.join(directory, "out.bin")
    status, stdout, stderr = run_program(script_path, input_path, output, **popen_args)
    data = None
    if os.path.isfile(output):
        with open(output, "rb") as f:
            data = f.read()
    return Run(status, stdout, stderr, data)


class PagesTestCase(unittest.TestCase):
    """Gives each test a scratch directory and a way to run a bundle over an input."""

    def setUp(self):
        if not PROGRAM or not os.access(PROGRAM, os.X_OK):
            self.fail("LUMIVANE_PAGES must name the built LumivanePages")
        self._scratch = tempfile.TemporaryDirectory(prefix="pages-")
        self.dir = self._scratch.name

    def tearDown(self):
        self._scratch.cleanup()

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        return write_file(self.dir, name, data)

    def run_program(self, *args, **popen_args):
        return run_program(*args, **popen_args)

    def run_bundle(self, script, input_json=b"{}", output=None, **popen_args):
        return run_bundle_in(self.dir, script, input_json, output, **popen_args)

    def assertStatus(self, run, status, stderr=b""):
        self.assertEqual((run.status, run.stderr), (status, stderr), run)
        self.assertEqual(run.stdout, b"")


def returning(expression):
    """A bundle whose entry function returns `expression` (with the input bound to `doc`)."""
    return f"function lumivanePages(doc) {{ return {expression}; }}\n"


def returning_json(expression):
    """A bundle whose entry function returns `expression` as UTF-8 JSON bytes."""
    return returning(f"new TextEncoder().encode(JSON.stringify({expression}))")
