#!/usr/bin/env python3
"""Benchmark of lv_write_heic against libheif's own `heif-enc`, measured in the same run.

Run:  cmake --build build --target bench-heic
  or: python3 bench/native-services/bench_heic.py build/native-services/libLumivaneImage.so

A 12-megapixel photo (4000 x 3000 JPEG, made from a sample photo with ImageMagick) is written
as HEIC at quality 0.5 by lv_write_heic and by `heif-enc -q 50` from the same JPEG file; both
decode the JPEG and encode with x265, so the command differs only by its start-up and its own
handling. Calls and commands alternate, five rounds; medians of wall and CPU time are printed
with the file sizes and each file's PSNR against the photo. Goal: lv_write_heic within 10 % of
heif-enc's wall time (ratio <= 1.10).
"""
import ctypes
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROUNDS = 5
QUALITY = 0.5


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def own_cpu():
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime


def psnr(reference, heic, work):
    png = os.path.join(work, "back.png")
    run("heif-convert", heic, png)
    result = subprocess.run(["compare", "-metric", "PSNR", reference, png, "null:"], capture_output=True, text=True)
    return result.stderr.split()[0]


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    lib = ctypes.CDLL(sys.argv[1])
    lib.lv_heic_available.restype = ctypes.c_int32
    lib.lv_write_heic.argtypes = [ctypes.c_void_p, ctypes.c_int32, ctypes.c_char_p, ctypes.c_double]
    lib.lv_write_heic.restype = ctypes.c_int32
    if not lib.lv_heic_available():
        sys.exit("no HEVC encoder in libheif")

    work = tempfile.mkdtemp(prefix="lumivane-bench-heic-")
    try:
        source = os.path.join(work, "source.png")
        subprocess.run(["apt-get", "download", "python3-skimage"], cwd=work, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deb = next(name for name in os.listdir(work) if name.endswith(".deb"))
        run("dpkg", "-x", os.path.join(work, deb), os.path.join(work, "root"))
        shutil.copy(os.path.join(work, "root/usr/lib/python3/dist-packages/skimage/data/chelsea.png"), source)
        photo = os.path.join(work, "photo.jpg")
        run("convert", source, "-resize", "4000x3000!", "-quality", "92", photo)
        with open(photo, "rb") as handle:
            data = handle.read()
        buffer = ctypes.create_string_buffer(data, len(data))
        ours, theirs = os.path.join(work, "ours.heic"), os.path.join(work, "theirs.heic")

        walls = {"lv_write_heic": [], "heif-enc": []}
        cpus = {"lv_write_heic": [], "heif-enc": []}
        for _ in range(ROUNDS):
            start, cpu = time.perf_counter(), own_cpu()
            if lib.lv_write_heic(buffer, len(data), ours.encode(), QUALITY) != 1:
                sys.exit("lv_write_heic failed")
            walls["lv_write_heic"].append(time.perf_counter() - start)
            cpus["lv_write_heic"].append(own_cpu() - cpu)

            start, cpu = time.perf_counter(), children_cpu()
            run("heif-enc", "-q", str(round(QUALITY * 100)), photo, "-o", theirs)
            walls["heif-enc"].append(time.perf_counter() - start)
            cpus["heif-enc"].append(children_cpu() - cpu)

        print(f"12 MP JPEG ({len(data) / 1e6:.1f} MB) to HEIC at quality {QUALITY}, median of {ROUNDS}")
        for name, path in (("lv_write_heic", ours), ("heif-enc", theirs)):
            print(f"  {name:14s} wall {statistics.median(walls[name]):6.2f} s  "
                  f"cpu {statistics.median(cpus[name]):6.2f} s  "
                  f"size {os.path.getsize(path) / 1e3:8.1f} kB  PSNR {psnr(photo, path, work)} dB")
        ratio = statistics.median(walls["lv_write_heic"]) / statistics.median(walls["heif-enc"])
        cpu_ratio = statistics.median(cpus["lv_write_heic"]) / statistics.median(cpus["heif-enc"])
        print(f"  ratio lv_write_heic / heif-enc: wall {ratio:.3f}, cpu {cpu_ratio:.3f} "
              f"(goal: wall <= 1.10) {'met' if ratio <= 1.10 else 'NOT met'}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
