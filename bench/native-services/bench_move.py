#!/usr/bin/env python3
"""Benchmark of lv_move_item across file systems against `mv`, measured in the same run.

Run:  cmake --build build --target bench-native-services-move
  or: python3 bench/native-services/bench_move.py build/native-services/libLumivaneImage.so [DISK-FOLDER]

From tmpfs (/dev/shm) to disk (DISK-FOLDER, default the library's build folder):
1. a tree of 10,000 small files (100 folders of 100 files of 1 KiB);
2. one 1 GiB file (run once each: it is slow and the page cache is shared).
Each case is made afresh for each mover; `mv` and lv_move_item alternate, and the disk copy is
flushed (sync) before the clock stops, for both. Prints seconds and the ratio library/mv
(goal: at most 1.0).
"""
import ctypes
import os
import shutil
import subprocess
import sys
import tempfile
import time


def make_tree(root):
    for d in range(100):
        folder = os.path.join(root, f"d{d:03}")
        os.makedirs(folder)
        payload = os.urandom(1024)
        for f in range(100):
            with open(os.path.join(folder, f"f{f:03}.txt"), "wb") as handle:
                handle.write(payload)


def make_big(path):
    block = os.urandom(1 << 20)
    with open(path, "wb") as handle:
        for _ in range(1024):
            handle.write(block)


def timed(action):
    subprocess.run(["sync"])
    start = time.perf_counter()
    action()
    subprocess.run(["sync"])
    return time.perf_counter() - start


def main():
    library = ctypes.CDLL(sys.argv[1])
    library.lv_move_item.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int32]
    disk_root = sys.argv[2] if len(sys.argv) > 2 else os.path.dirname(os.path.abspath(sys.argv[1]))
    memory = tempfile.mkdtemp(prefix="lv-bench-move-", dir="/dev/shm")
    disk = tempfile.mkdtemp(prefix="lv-bench-move-", dir=disk_root)
    assert os.stat(memory).st_dev != os.stat(disk).st_dev
    message = ctypes.create_string_buffer(512)

    def by_library(source, destination):
        if library.lv_move_item(source.encode(), destination.encode(), message, 512) != 1:
            raise RuntimeError(message.value.decode())

    def by_mv(source, destination):
        subprocess.run(["mv", "-n", source, destination], check=True)

    try:
        for name, maker, rounds in [("10,000 small files", make_tree, 3), ("one 1 GiB file", make_big, 1)]:
            times = {"lv_move_item": [], "mv": []}
            for round_number in range(rounds):
                for mover_name, mover in [("mv", by_mv), ("lv_move_item", by_library)]:
                    source = os.path.join(memory, "item")
                    destination = os.path.join(disk, f"moved-{mover_name}-{round_number}")
                    maker(source)
                    times[mover_name].append(timed(lambda: mover(source, destination)))
                    assert not os.path.exists(source)
                    shutil.rmtree(destination) if os.path.isdir(destination) else os.unlink(destination)
            best = {k: min(v) for k, v in times.items()}
            print(f"{name}: lv_move_item {best['lv_move_item']:.3f} s, mv {best['mv']:.3f} s, "
                  f"ratio {best['lv_move_item'] / best['mv']:.2f} (best of {rounds})")
    finally:
        shutil.rmtree(memory, ignore_errors=True)
        shutil.rmtree(disk, ignore_errors=True)


if __name__ == "__main__":
    main()
