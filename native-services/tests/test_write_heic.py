"""lv_heic_available and lv_write_heic, with the written files read back by libheif's own tools
(heif-info, heif-convert) and compared with ImageMagick."""
import ctypes
import math
import os
import re
import struct
import subprocess
import sys
import threading
import unittest

import lvimage as lv

lv.lib.lv_heic_available.argtypes = []
lv.lib.lv_heic_available.restype = ctypes.c_int32
lv.lib.lv_write_heic.argtypes = [ctypes.c_void_p, ctypes.c_int32, ctypes.c_char_p, ctypes.c_double]
lv.lib.lv_write_heic.restype = ctypes.c_int32


def write_heic(data, path, quality, count=None):
    buffer = ctypes.create_string_buffer(data, len(data)) if data else None
    return lv.lib.lv_write_heic(buffer, len(data) if count is None else count, path.encode("utf-8"), quality)


def heif_info(path):
    """(width, height) of each top-level image, whether the primary one has alpha, and the
    metadata listing."""
    text = subprocess.run(["heif-info", path], check=True, capture_output=True, text=True).stdout
    sizes = [(int(w), int(h)) for w, h in re.findall(r"^image: (\d+)x(\d+)", text, re.M)]
    alpha = re.search(r"^\s+alpha channel: (\w+)", text, re.M).group(1) == "yes"
    metadata = text.split("metadata:", 1)[1].split("\n")[1].strip() if "metadata:" in text else ""
    return sizes, alpha, metadata


def heif_to_png(heic, png):
    lv.run("heif-convert", heic, png)
    return png


def rgba_pixels(path):
    """(width, height, RGBA bytes) of an image file, through ImageMagick."""
    width, height = map(int, subprocess.run(["identify", "-format", "%w %h", path], check=True,
                                            capture_output=True, text=True).stdout.split())
    data = subprocess.run(["convert", path, "-depth", "8", "rgba:-"], check=True, capture_output=True).stdout
    return width, height, data


def pixel(pixels, x, y):
    width, _, data = pixels
    offset = 4 * (y * width + x)
    return tuple(data[offset:offset + 4])


def psnr(a, b):
    """ImageMagick's PSNR of b against a, in dB (inf when equal)."""
    result = subprocess.run(["compare", "-metric", "PSNR", a, b, "null:"], capture_output=True, text=True)
    value = result.stderr.split()[0]
    return math.inf if value == "inf" else float(value)


def with_exif_orientation(jpeg, orientation):
    """The JPEG with an EXIF segment carrying only the orientation tag, right after SOI."""
    tiff = (b"MM\x00\x2a" + struct.pack(">I", 8) + struct.pack(">H", 1) +
            struct.pack(">HHIHH", 0x0112, 3, 1, orientation, 0) + struct.pack(">I", 0))
    body = b"Exif\x00\x00" + tiff
    return jpeg[:2] + b"\xff\xe1" + struct.pack(">H", len(body) + 2) + body + jpeg[2:]


def close_to(color, expected, tolerance=12):
    return all(abs(a - b) <= tolerance for a, b in zip(color, expected))


class AvailabilityTest(unittest.TestCase):
    def test_available_when_libheif_lists_an_hevc_encoder(self):
        listing = subprocess.run(["heif-enc", "--list-encoders"], check=True, capture_output=True,
                                 text=True).stdout
        has_encoder = bool(re.search(r"HEIC encoders:\n- ", listing))
        self.assertEqual(lv.lib.lv_heic_available(), 1 if has_encoder else 0)


class WriteTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = lv.Workdir()
        cls.photo_path = lv.sample("astronaut.png")
        cls.photo = lv.read(cls.photo_path)

    @classmethod
    def tearDownClass(cls):
        cls.work.remove()

    def written(self, source, name, quality=0.9):
        path = self.work.file(name)
        self.assertEqual(write_heic(source, path, quality), 1)
        return path

    def test_first_image_only_of_multi_image_files(self):
        # First page or frame red 60x40, the second a blue 90x70: only the red one is written.
        first = self.work.file("first.png")
        lv.run("convert", "-size", "60x40", "xc:red", first)
        cases = {
            "pages.tif": ["-size", "60x40", "xc:red", "-size", "90x70", "xc:blue"],
            "frames.gif": ["-delay", "20", "-size", "60x40", "xc:red", "-size", "90x70", "xc:blue",
                           "-loop", "0"],
        }
        for name, arguments in cases.items():
            with self.subTest(source=name):
                source = self.work.file(name)
                lv.run("convert", *arguments, source)
                self.assertEqual(subprocess.run(["identify", source], capture_output=True,
                                                text=True).stdout.count("\n"), 2)
                heic = self.written(lv.read(source), name + ".heic")
                sizes, alpha, _ = heif_info(heic)
                self.assertEqual(sizes, [(60, 40)])
                self.assertFalse(alpha)
                self.assertGreater(psnr(first, heif_to_png(heic, heic + ".png")), 30)

    def test_camera_photo_is_written_as_stored_without_orientation(self):
        # Stored 120x60, left half black, right half white, tagged "turn 90 degrees clockwise".
        stored = self.work.file("stored.png")
        lv.run("convert", "-size", "120x60", "xc:black", "-fill", "white", "-draw", "rectangle 60,0 119,59", stored)
        jpeg = self.work.file("stored.jpg")
        lv.run("convert", stored, "-quality", "95", jpeg)
        heic = self.written(with_exif_orientation(lv.read(jpeg), 6), "camera.heic")
        sizes, _, metadata = heif_info(heic)
        self.assertEqual(sizes, [(120, 60)])
        self.assertEqual(metadata, "none")
        # heif-convert applies any rotation the file asks for; the pixels come out as stored.
        pixels = rgba_pixels(heif_to_png(heic, self.work.file("camera.png")))
        self.assertEqual(pixels[:2], (120, 60))
        self.assertTrue(close_to(pixel(pixels, 10, 30)[:3], (0, 0, 0)))
        self.assertTrue(close_to(pixel(pixels, 110, 30)[:3], (255, 255, 255)))

    def test_size_and_error_follow_quality(self):
        qualities = [0.0, 0.3, 0.6, 0.9, 1.0]
        sizes, errors = [], []
        for quality in qualities:
            heic = self.written(self.photo, f"photo-{quality}.heic", quality)
            sizes.append(os.path.getsize(heic))
            errors.append(psnr(self.photo_path, heif_to_png(heic, heic + ".png")))
        self.assertEqual(sorted(sizes), sizes)
        self.assertEqual(len(set(sizes)), len(sizes))
        self.assertEqual(sorted(errors), errors)
        self.assertGreater(errors[-1], 38)
        self.assertLess(errors[0], 30)

    def test_quality_outside_the_range_counts_as_the_nearer_end(self):
        for quality, same_as in ((-0.5, 0.0), (-math.inf, 0.0), (1.7, 1.0), (math.inf, 1.0)):
            with self.subTest(quality=quality):
                self.assertEqual(lv.read(self.written(self.photo, f"out-{quality}.heic", quality)),
                                 lv.read(self.written(self.photo, f"end-{same_as}.heic", same_as)))

    def test_transparency_is_kept(self):
        # Clear background, a half-transparent red square and an opaque blue one.
        source = self.work.file("alpha.png")
        lv.run("convert", "-size", "96x64", "xc:none", "-fill", "rgba(255,0,0,0.5)", "-draw",
               "rectangle 8,8 40,56", "-fill", "blue", "-draw", "rectangle 56,8 88,56", source)
        heic = self.written(lv.read(source), "alpha.heic")
        sizes, alpha, _ = heif_info(heic)
        self.assertEqual((sizes, alpha), ([(96, 64)], True))
        pixels = rgba_pixels(heif_to_png(heic, self.work.file("alpha-back.png")))
        self.assertLess(pixel(pixels, 48, 2)[3], 12)
        self.assertTrue(close_to(pixel(pixels, 24, 32), (255, 0, 0, 128)))
        self.assertTrue(close_to(pixel(pixels, 72, 32), (0, 0, 255, 255)))
        opaque = self.written(self.photo, "opaque.heic")
        self.assertFalse(heif_info(opaque)[1])

    def test_small_and_odd_sizes_are_kept(self):
        for size in ("1x1", "3x2", "333x201"):
            with self.subTest(size=size):
                source = self.work.file(f"odd-{size}.png")
                lv.run("convert", "-size", size, "xc:#3080c0", source)
                heic = self.written(lv.read(source), f"odd-{size}.heic")
                width, height = map(int, size.split("x"))
                self.assertEqual(heif_info(heic)[0], [(width, height)])
                pixels = rgba_pixels(heif_to_png(heic, heic + ".png"))
                self.assertTrue(close_to(pixel(pixels, width - 1, height - 1)[:3], (0x30, 0x80, 0xc0)))

    def test_heic_input_and_an_existing_output_are_rewritten(self):
        first = self.written(self.photo, "again.heic", 0.9)
        target = self.work.file("replace.heic")
        with open(target, "wb") as old:
            old.write(b"old contents")
        self.assertEqual(write_heic(lv.read(first), target, 0.5), 1)
        self.assertEqual(heif_info(target)[0], [(512, 512)])


class FailureTest(unittest.TestCase):
    def setUp(self):
        self.work = lv.Workdir()
        self.photo = lv.read(lv.sample("astronaut.png"))

    def tearDown(self):
        self.work.remove()

    def assert_nothing_written(self, folder=None):
        self.assertEqual(os.listdir(folder or self.work.path), [])

    def test_bytes_that_are_no_image_give_0_and_no_file(self):
        cases = {
            "garbage": os.urandom(4096),
            "text": b"not an image at all",
            "cut png": self.photo[:200],
            "header only": b"\x89PNG\r\n\x1a\n",
        }
        for name, data in cases.items():
            with self.subTest(case=name):
                self.assertEqual(write_heic(data, self.work.file("out.heic"), 0.8), 0)
                self.assert_nothing_written()
        self.assertEqual(write_heic(self.photo, self.work.file("out.heic"), 0.8, count=0), 0)
        self.assertEqual(write_heic(b"", self.work.file("out.heic"), 0.8), 0)
        self.assert_nothing_written()

    def test_nan_quality_is_refused(self):
        self.assertEqual(write_heic(self.photo, self.work.file("out.heic"), math.nan), 0)
        self.assert_nothing_written()

    def test_outputs_that_cannot_be_made_give_0(self):
        plain_file = self.work.file("plain")
        with open(plain_file, "wb") as handle:
            handle.write(b"x")
        folder = self.work.file("folder")
        os.mkdir(folder)
        cases = {
            "missing folder": self.work.file("missing/out.heic"),
            "folder is a file": os.path.join(plain_file, "out.heic"),
            "path is a folder": folder,
            "path ends in a slash": folder + "/",
            "empty path": "",
            "no file system to write": "/proc/lumivane-out.heic",
        }
        for name, path in cases.items():
            with self.subTest(case=name):
                self.assertEqual(write_heic(self.photo, path, 0.8), 0)
        self.assertEqual(sorted(os.listdir(self.work.path)), ["folder", "plain"])
        self.assert_nothing_written(folder)
        self.assertEqual(lv.read(plain_file), b"x")

    def test_read_only_folder_gives_0(self):
        # Permissions do not bind the superuser: as root, the call runs as "nobody".
        folder = self.work.file("locked")
        os.mkdir(folder, 0o555)
        os.chmod(self.work.path, 0o755)
        as_user = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] if os.geteuid() == 0 else []
        try:
            self.assertEqual(write_in_child(os.path.join(folder, "out.heic"), prefix=as_user), "0")
            self.assert_nothing_written(folder)
        finally:
            os.chmod(folder, 0o700)

    def test_failed_write_leaves_no_partial_file_and_keeps_the_old_one(self):
        # A child process whose files may not grow beyond 4 KiB: the encoded photo (tens of KiB)
        # breaks off in the middle of writing.
        target = self.work.file("kept.heic")
        with open(target, "wb") as old:
            old.write(b"old contents")
        limit = ("import resource, signal\n"
                 "signal.signal(signal.SIGXFSZ, signal.SIG_IGN)\n"
                 "resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))\n")
        self.assertEqual(write_in_child(target, setup=limit), "0")
        self.assertEqual(os.listdir(self.work.path), ["kept.heic"])
        self.assertEqual(lv.read(target), b"old contents")


def write_in_child(target, setup="", prefix=()):
    """lv_write_heic of the sample photo at quality 0.95 in a child process that first runs
    `setup`; returns what the call returned, as text."""
    script = (f"import sys\nsys.path.insert(0, {os.path.dirname(os.path.abspath(__file__))!r})\n"
              "import test_write_heic as t, lvimage as lv\n" + setup +
              f"print(t.write_heic(lv.read(lv.sample('astronaut.png')), {target!r}, 0.95))\n")
    result = subprocess.run([*prefix, sys.executable, "-c", script], capture_output=True, text=True, timeout=300)
    if result.returncode != 0:
        raise AssertionError(result.stderr)
    return result.stdout.strip()


class ConcurrencyTest(unittest.TestCase):
    def test_parallel_writes_equal_a_serial_write(self):
        work = lv.Workdir()
        try:
            photo = lv.read(lv.sample("astronaut.png"))
            serial = work.file("serial.heic")
            self.assertEqual(write_heic(photo, serial, 0.7), 1)
            results = {}

            def worker(index):
                results[index] = write_heic(photo, work.file(f"parallel-{index}.heic"), 0.7)

            threads = [threading.Thread(target=worker, args=(i,)) for i in range(3)]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()
            self.assertEqual(results, {0: 1, 1: 1, 2: 1})
            for index in range(3):
                self.assertEqual(lv.read(work.file(f"parallel-{index}.heic")), lv.read(serial))
        finally:
            work.remove()


if __name__ == "__main__":
    unittest.main()
