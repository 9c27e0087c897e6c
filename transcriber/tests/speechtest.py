"""Shared helpers for the LumivaneSpeech tests: run the program, make fixtures, make models."""
import json
import os
import shutil
import subprocess
import tempfile
import unittest

SPEECH = os.environ.get("LUMIVANE_SPEECH", "LumivaneSpeech")
MODEL_TOOL = os.environ.get("LUMIVANE_MODEL_TOOL", "lumivane-make-test-model")
AUDIO_PROBE = os.environ.get("LUMIVANE_AUDIO_PROBE", "")


class Run:
    def __init__(self, proc):
        self.rc = proc.returncode
        self.out = proc.stdout
        self.err = proc.stderr

    @property
    def out_text(self):
        return self.out.decode("utf-8", "replace")

    @property
    def err_text(self):
        return self.err.decode("utf-8", "replace")

    def __repr__(self):
        return f"rc={self.rc}\n--- stdout\n{self.out_text}\n--- stderr\n{self.err_text}"


def run(args, stdin=b"", env=None, cwd=None, program=None, timeout=300):
    full_env = dict(os.environ)
    for key in ("WHISPER_ARG_DEVICE", "WHISPER_COMMON_MINIAUDIO_SKIP", "CORVANE_ENCODER", "CORVANE_DYLIB"):
        full_env.pop(key, None)
    full_env.update(env or {})
    proc = subprocess.run([program or SPEECH, *args], input=stdin, capture_output=True,
                          env=full_env, cwd=cwd, timeout=timeout)
    return Run(proc)


def read_text(path):
    with open(path, encoding="utf-8", newline="") as f:
        return f.read()


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def tool(*args, **kwargs):
    subprocess.run(list(args), check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kwargs)


class TempDirTest(unittest.TestCase):
    """A test case with a scratch directory shared by its tests."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="lumivane-")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    @classmethod
    def path(cls, name):
        return os.path.join(cls.tmp, name)

    @classmethod
    def write(cls, name, data):
        p = cls.path(name)
        with open(p, "wb" if isinstance(data, bytes) else "w") as f:
            f.write(data)
        return p


# --- audio fixtures ---------------------------------------------------------------------

def sine_wav(path, seconds=2.0, rate=16000, channels=1, freq=440, gain=-6):
    tool("sox", "-n", "-r", str(rate), "-c", str(channels), "-b", "16", path,
         "synth", str(seconds), "sine", str(freq), "gain", str(gain))
    return path


def speech_wav(path, text="ask not what your country can do for you", rate=16000):
    raw = path + ".espeak.wav"
    tool("espeak-ng", "-w", raw, text)
    tool("sox", raw, "-r", str(rate), "-c", "1", "-b", "16", path)
    os.unlink(raw)
    return path


def convert(src, dst, *ffmpeg_args):
    tool("ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-i", src, *ffmpeg_args, dst)
    return dst


def stereo_levels_wav(path, left, right, seconds=1.0, rate=16000):
    """A two-channel 32-bit float WAV (written by sox) whose channels hold constant values."""
    import struct
    frames = int(seconds * rate)
    raw = path + ".raw"
    with open(raw, "wb") as f:
        f.write(struct.pack("<ff", left, right) * frames)
    tool("sox", "-t", "raw", "-r", str(rate), "-e", "floating-point", "-b", "32", "-c", "2", raw, path)
    os.unlink(raw)
    return path


# --- models ------------------------------------------------------------------------------

def make_model(path, script):
    """Writes a deterministic test model whose transcript is `script` (see tools/make-test-model)."""
    script_path = path + ".json"
    with open(script_path, "w") as f:
        json.dump(script, f)
    proc = subprocess.run([MODEL_TOOL, script_path, path], capture_output=True)
    if proc.returncode != 0:
        raise RuntimeError(f"test model tool failed: {proc.stderr.decode()}")
    return path
