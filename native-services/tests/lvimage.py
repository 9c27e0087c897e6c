"""The built libLumivaneImage loaded through ctypes, as the host loads it, and the fixture
makers the tests share (ImageMagick, qrencode, heif-enc)."""
import ctypes
import json
import os
import shutil
import subprocess
import tempfile

LIBRARY_PATH = os.environ["LUMIVANE_IMAGE_LIBRARY"]
HEADER_PATH = os.environ["LUMIVANE_IMAGE_HEADER"]
SAMPLES = os.environ["LUMIVANE_SAMPLES"]
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"


class Region(ctypes.Structure):
    _fields_ = [("x", ctypes.c_double), ("y", ctypes.c_double),
                ("width", ctypes.c_double), ("height", ctypes.c_double)]


lib = ctypes.CDLL(LIBRARY_PATH)
lib.lv_read_text.argtypes = [ctypes.c_void_p, ctypes.c_int32]
lib.lv_read_text.restype = ctypes.c_void_p  # keep the pointer: it goes back to lv_free_text
lib.lv_read_qr.argtypes = [ctypes.c_void_p, ctypes.c_int32]
lib.lv_read_qr.restype = ctypes.c_void_p
lib.lv_free_text.argtypes = [ctypes.c_void_p]
lib.lv_free_text.restype = None
lib.lv_detect_regions.argtypes = [ctypes.c_void_p, ctypes.c_int32, ctypes.c_int32,
                                  ctypes.POINTER(Region), ctypes.c_int32]
lib.lv_detect_regions.restype = ctypes.c_int32


def _take_text(pointer):
    if not pointer:
        return None
    try:
        return ctypes.string_at(pointer)
    finally:
        lib.lv_free_text(pointer)


def read_text_raw(data, count=None):
    """The raw bytes of lv_read_text's result text (None for a null result)."""
    buffer = ctypes.create_string_buffer(data, len(data)) if data else None
    return _take_text(lib.lv_read_text(buffer, len(data) if count is None else count))


def read_qr_raw(data, count=None):
    buffer = ctypes.create_string_buffer(data, len(data)) if data else None
    return _take_text(lib.lv_read_qr(buffer, len(data) if count is None else count))


def read_text(data):
    return json.loads(read_text_raw(data).decode("utf-8"))


def read_qr(data):
    return json.loads(read_qr_raw(data).decode("utf-8"))


def detect_regions(data, mode, capacity, guard=4):
    """Calls lv_detect_regions with `capacity` records followed by `guard` sentinel records.
    Returns (result, written records, guard records untouched)."""
    records = (Region * (capacity + guard))()
    for record in records:
        record.x = record.y = record.width = record.height = -7.0
    buffer = ctypes.create_string_buffer(data, len(data)) if data else None
    result = lib.lv_detect_regions(buffer, len(data), mode, records, capacity)
    sentinel = all(r.x == -7.0 and r.y == -7.0 and r.width == -7.0 and r.height == -7.0
                   for r in records[capacity:])
    return result, list(records[:capacity]), sentinel


class Workdir:
    """A temporary folder for the fixtures of one test class."""

    def __init__(self):
        self.path = tempfile.mkdtemp(prefix="lumivane-image-")

    def file(self, name):
        return os.path.join(self.path, name)

    def remove(self):
        shutil.rmtree(self.path, ignore_errors=True)


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def text_image(path, lines, width=1400, height=None, pointsize=48, top=60, left=60, spacing=110):
    """Renders `lines` in DejaVu Sans on white; line i's baseline block starts at top + i*spacing.
    Returns the path."""
    height = height or top + spacing * len(lines) + 60
    command = ["convert", "-size", f"{width}x{height}", "xc:white", "-font", FONT,
               "-pointsize", str(pointsize), "-fill", "black"]
    for i, line in enumerate(lines):
        command += ["-annotate", f"+{left}+{top + i * spacing + pointsize}", line]
    run(*command, path)
    return path


def qr_image(path, payload, module_size=8, margin=4):
    run("qrencode", "-o", path, "-s", str(module_size), "-m", str(margin), payload)
    return path


def read(path):
    with open(path, "rb") as handle:
        return handle.read()


def sample(name):
    return os.path.join(SAMPLES, name)
