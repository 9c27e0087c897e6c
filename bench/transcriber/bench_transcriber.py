#!/usr/bin/env python3
"""Transcriber benchmarks. Run after scripts/setup.sh:

    python3 bench/transcriber/bench_transcriber.py [--build build]

1. Audio decoding: a 10-minute 44.1 kHz stereo MP3 and FLAC decoded to 16 kHz mono with
   read_audio_data, against `ffmpeg -ar 16000 -ac 1 -f f32le` on the same files (best of 3).
   Goal: ratio ours/ffmpeg <= 1.
2. Program overhead: LumivaneSpeech's whole-run wall time against the engine's own reported
   total on a 30 s input with the test model. Goal: overhead share under 2 %.
"""
import argparse
import json
import os
import re
import subprocess
import tempfile
import time


def best_of(n, fn):
    best = float("inf")
    for _ in range(n):
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
    return best


def sh(*args, **kw):
    subprocess.run(list(args), check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw)


def bench_decoding(build, tmp):
    src = os.path.join(tmp, "long.wav")
    # Ten minutes of speech-like, non-repeating audio: pink noise shaped by a slow tremolo.
    sh("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", src, "synth", "600", "pinknoise", "tremolo", "3", "60",
       "gain", "-12")
    print("decode 10 min 44.1 kHz stereo -> 16 kHz mono (best of 3)")
    for ext, args in [("mp3", ["-b:a", "192k"]), ("flac", [])]:
        path = os.path.join(tmp, f"long.{ext}")
        sh("ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-i", src, *args, path)
        out = subprocess.check_output([os.path.join(build, "bench", "transcriber", "bench_read_audio"), path, "3"],
                                      stderr=subprocess.DEVNULL).decode()
        ours = float(re.search(r"best_ms=(\S+)", out)[1]) / 1000
        theirs = best_of(3, lambda: sh("ffmpeg", "-nostdin", "-loglevel", "error", "-i", path, "-ar", "16000",
                                       "-ac", "1", "-f", "f32le", "-y", os.devnull))
        print(f"  {ext:5s} read_audio_data {ours:7.3f} s   ffmpeg {theirs:7.3f} s   ratio {ours / theirs:5.2f}")


def bench_overhead(build, tmp):
    tool = os.path.join(build, "bin", "lumivane-make-test-model")
    speech = os.path.join(build, "bin", "LumivaneSpeech")
    script = os.path.join(os.path.dirname(__file__), "..", "..", "tools", "make-test-model", "sample.json")
    model = os.path.join(tmp, "model.bin")
    sh(tool, script, model)
    wav = os.path.join(tmp, "30s.wav")
    sh("sox", "-n", "-r", "16000", "-c", "1", "-b", "16", wav, "synth", "30", "pinknoise", "gain", "-20")
    print("LumivaneSpeech on 30 s with the test model (best of 3)")
    rows = []
    for _ in range(3):
        start = time.perf_counter()
        proc = subprocess.run([speech, "-m", model, wav], capture_output=True)
        wall = time.perf_counter() - start
        total = float(re.search(r"total time =\s*([\d.]+) ms", proc.stderr.decode())[1]) / 1000
        rows.append((wall, total))
    wall, total = min(rows)
    print(f"  wall {wall:.3f} s   engine total {total:.3f} s   overhead share {(wall - total) / wall * 100:5.2f} %")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(os.path.dirname(__file__), "..", "..", "build"))
    a = ap.parse_args()
    build = os.path.abspath(a.build)
    with tempfile.TemporaryDirectory() as tmp:
        bench_decoding(build, tmp)
        bench_overhead(build, tmp)


if __name__ == "__main__":
    main()
