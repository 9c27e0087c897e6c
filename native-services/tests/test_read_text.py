"""lv_read_text and lv_free_text on images rendered at test time."""
import json
import os
import struct
import subprocess
import sys
import unittest
import zlib

import lvimage as lv

TEXT_FAILURE = "Não foi possível reconhecer o texto."


def ink_box(path):
    """(x, y, width, height) in pixels of everything that is not white, as ImageMagick sees it."""
    geometry = subprocess.run(["convert", path, "-format", "%@", "info:"],
                              check=True, capture_output=True, text=True).stdout
    size, x, y = geometry.replace("+", " ").split()
    width, height = size.split("x")
    return int(x), int(y), int(width), int(height)


class ReadTextTest(unittest.TestCase):
    LINES = ["Ação rápida: 2/3 das maçãs", "Hello World from Lumivane", "Número 12345 amanhã"]
    WIDTH, HEIGHT = 1400, 460

    @classmethod
    def setUpClass(cls):
        cls.work = lv.Workdir()
        cls.page = lv.text_image(cls.work.file("page.png"), cls.LINES, width=cls.WIDTH, height=cls.HEIGHT)
        cls.raw = lv.read_text_raw(lv.read(cls.page))
        cls.result = json.loads(cls.raw.decode("utf-8"))

    @classmethod
    def tearDownClass(cls):
        cls.work.remove()

    def test_lines_in_reading_order_with_exact_keys(self):
        self.assertEqual(list(self.result), ["Linhas"])
        lines = self.result["Linhas"]
        self.assertEqual([line["Texto"] for line in lines], self.LINES)
        for line in lines:
            self.assertEqual(set(line), {"Texto", "Confianca", "Area"})
            self.assertEqual(set(line["Area"]), {"X", "Y", "Largura", "Altura"})
            self.assertGreater(line["Confianca"], 0.5)
            self.assertLessEqual(line["Confianca"], 1.0)
            self.assertTrue(all(0.0 <= value <= 1.0 for value in line["Area"].values()), line["Area"])

    def test_result_text_is_compact_raw_utf8_with_escaped_solidus(self):
        self.assertIn("Ação rápida: 2\\/3 das maçãs".encode("utf-8"), self.raw)
        self.assertNotIn(b"\\u", self.raw)
        compact = json.dumps(self.result, ensure_ascii=False, separators=(",", ":")).replace("/", "\\/")
        self.assertEqual(self.raw.decode("utf-8"), compact)

    def test_areas_are_where_the_lines_were_drawn(self):
        for index, line in enumerate(self.result["Linhas"]):
            alone = lv.text_image(self.work.file(f"line{index}.png"),
                                  [""] * index + [self.LINES[index]], width=self.WIDTH, height=self.HEIGHT)
            x, y, width, height = ink_box(alone)
            area = line["Area"]
            with self.subTest(line=line["Texto"]):
                self.assertAlmostEqual(area["X"], x / self.WIDTH, delta=0.01)
                self.assertAlmostEqual(area["Y"], y / self.HEIGHT, delta=0.02)
                self.assertAlmostEqual(area["Largura"], width / self.WIDTH, delta=0.02)
                self.assertAlmostEqual(area["Altura"], height / self.HEIGHT, delta=0.03)

    def test_lines_touching_the_top_and_bottom_edges(self):
        path = self.work.file("edges.png")
        lv.run("convert", "-size", "1000x400", "xc:white", "-font", lv.FONT, "-pointsize", "48",
               "-fill", "black", "-gravity", "north", "-annotate", "+0+0", "Topo da página",
               "-gravity", "south", "-annotate", "+0+0", "Rodapé final", "-trim",
               "-bordercolor", "white", "-border", "40x0", path)
        lines = lv.read_text(lv.read(path))["Linhas"]
        self.assertEqual([line["Texto"] for line in lines], ["Topo da página", "Rodapé final"])
        top, bottom = lines[0]["Area"], lines[1]["Area"]
        self.assertAlmostEqual(top["Y"], 0.0, places=6)
        self.assertAlmostEqual(bottom["Y"] + bottom["Altura"], 1.0, places=6)

    def test_an_image_without_text_has_no_lines(self):
        path = self.work.file("blank.png")
        lv.run("convert", "-size", "640x480", "gradient:white-gray80", path)
        self.assertEqual(lv.read_text_raw(lv.read(path)), b'{"Linhas":[]}')

    def test_lines_below_the_minimum_height_are_dropped(self):
        # 14-pixel text against 0.003 of the image height: 4.5 pixels in a short image,
        # 24 pixels in a tall one.
        def render(height):
            path = self.work.file(f"small{height}.png")
            lv.run("convert", "-size", f"900x{height}", "xc:white", "-font", lv.FONT, "-fill", "black",
                   "-pointsize", "60", "-annotate", "+40+100", "Título grande",
                   "-pointsize", "16", "-annotate", "+40+200", "letra miúda aqui", path)
            return [line["Texto"] for line in lv.read_text(lv.read(path))["Linhas"]]

        self.assertEqual(render(1500), ["Título grande", "letra miúda aqui"])
        self.assertEqual(render(8000), ["Título grande"])


class ImageFormatsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = lv.Workdir()
        cls.source = lv.text_image(cls.work.file("source.png"), ["Formato legível"], width=700, height=200)

    @classmethod
    def tearDownClass(cls):
        cls.work.remove()

    def test_every_decoder_format(self):
        # ImageMagick writes grey BMP files run-length encoded (RLE8) unless told otherwise.
        options = {"bmp": ["-compress", "none"], "rle.bmp": ["-compress", "RLE"]}
        for extension in ["png", "jpg", "tif", "gif", "webp", "bmp", "rle.bmp", "pnm", "jp2", "heic"]:
            with self.subTest(format=extension):
                path = self.work.file(f"image.{extension}")
                lv.run("convert", self.source, *options.get(extension, []), path)
                lines = lv.read_text(lv.read(path))["Linhas"]
                self.assertEqual([line["Texto"] for line in lines], ["Formato legível"])

    def test_first_page_of_a_multi_page_tiff(self):
        first = lv.text_image(self.work.file("p1.png"), ["Primeira página"], width=700, height=200)
        second = lv.text_image(self.work.file("p2.png"), ["Segunda folha"], width=700, height=200)
        path = self.work.file("pages.tif")
        lv.run("convert", first, second, path)
        lines = lv.read_text(lv.read(path))["Linhas"]
        self.assertEqual([line["Texto"] for line in lines], ["Primeira página"])

    def test_four_bit_run_length_bitmap(self):
        gray = self.work.file("source.pgm")
        lv.run("convert", self.source, "-colorspace", "gray", "-depth", "8", gray)
        width, height, pixels = read_pgm(lv.read(gray))
        bitmap = rle4_bmp(width, height, pixels)
        png_lines = lv.read_text(lv.read(self.source))["Linhas"]
        lines = lv.read_text(bitmap)["Linhas"]
        self.assertEqual([line["Texto"] for line in lines], ["Formato legível"])
        for key, value in png_lines[0]["Area"].items():
            self.assertAlmostEqual(lines[0]["Area"][key], value, delta=0.01)
        # Cut anywhere, the runs still decode to a picture or fail cleanly.
        for cut in range(60, len(bitmap), len(bitmap) // 7):
            self.assertTrue(set(lv.read_text(bitmap[:cut])) <= {"Linhas", "Erro"})

    def test_camera_orientation_is_applied(self):
        # Stored pixels turned away from upright, with the EXIF tag that tells a viewer how to
        # turn them back.
        upright = lv.read_text(lv.read(self.source))["Linhas"]
        cases = {6: ["-rotate", "-90"], 8: ["-rotate", "90"], 3: ["-rotate", "180"],
                 2: ["-flop"], 5: ["-transpose"], 7: ["-transverse"]}
        for orientation, stored_turn in cases.items():
            with self.subTest(orientation=orientation):
                path = self.work.file(f"camera-{orientation}.jpg")
                lv.run("convert", self.source, *stored_turn, "-quality", "95", path)
                lines = lv.read_text(with_exif_orientation(lv.read(path), orientation))["Linhas"]
                self.assertEqual([line["Texto"] for line in lines], ["Formato legível"])
                for key, value in upright[0]["Area"].items():
                    self.assertAlmostEqual(lines[0]["Area"][key], value, delta=0.01)

    def test_transparent_background_reads_as_white(self):
        path = self.work.file("alpha.png")
        lv.run("convert", "-size", "700x200", "xc:none", "-font", lv.FONT, "-pointsize", "48",
               "-fill", "black", "-annotate", "+40+120", "Fundo transparente", path)
        lines = lv.read_text(lv.read(path))["Linhas"]
        self.assertEqual([line["Texto"] for line in lines], ["Fundo transparente"])


def png_claiming(width, height):
    """A well-formed PNG whose header claims width x height grey pixels but carries one row."""
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    header = struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(b"\x00" + b"\xff" * width)) + chunk(b"IEND", b""))


def read_pgm(data):
    """(width, height, rows of 8-bit grey values) of a binary PGM as ImageMagick writes it."""
    magic, width, height, maximum, pixels = data.split(maxsplit=4)
    assert magic == b"P5" and maximum == b"255"
    width, height = int(width), int(height)
    return width, height, [pixels[y * width:(y + 1) * width] for y in range(height)]


def rle4_bmp(width, height, rows):
    """A BI_RLE4 bitmap of grey rows in 16 levels. Uniform spans become runs, the rest absolute
    groups, and white row tails a delta move, so that every kind of escape is exercised."""
    def encode_row(levels):
        out, x = bytearray(), 0
        tail = len(levels)
        while tail > 0 and levels[tail - 1] == 15:
            tail -= 1
        while x < tail:
            run = 1
            while x + run < tail and run < 254 and levels[x + run] == levels[x]:
                run += 1
            if run >= 4:
                out += bytes([run, levels[x] << 4 | levels[x]])
                x += run
                continue
            group = levels[x:min(x + 20, tail)]
            if len(group) < 3:
                for level in group:
                    out += bytes([1, level << 4])
            else:
                packed = bytearray((group[i] << 4) | (group[i + 1] if i + 1 < len(group) else 0)
                                   for i in range(0, len(group), 2))
                if len(packed) % 2:
                    packed.append(0)
                out += bytes([0, len(group)]) + packed
            x += len(group)
        if tail < len(levels):
            out += bytes([0, 2, min(len(levels) - x, 255), 0])  # skip the white tail
        return out + b"\x00\x00"

    data = bytearray()
    for row in reversed(rows):  # bottom-up
        data += encode_row([value >> 4 for value in row])
    data += b"\x00\x01"
    palette = b"".join(bytes([v * 17, v * 17, v * 17, 0]) for v in range(16))
    offset = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 2, len(data), 2835, 2835, 16, 0)
    return b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset) + info + palette + bytes(data)


def with_exif_orientation(jpeg, orientation):
    """The JPEG with an EXIF segment carrying only the orientation tag, right after SOI."""
    tiff = (b"MM\x00\x2a" + struct.pack(">I", 8) + struct.pack(">H", 1) +
            struct.pack(">HHIHH", 0x0112, 3, 1, orientation, 0) + struct.pack(">I", 0))
    body = b"Exif\x00\x00" + tiff
    return jpeg[:2] + b"\xff\xe1" + struct.pack(">H", len(body) + 2) + body + jpeg[2:]


class FailureTest(unittest.TestCase):
    FAILURE = ('{"Erro":"%s"}' % TEXT_FAILURE).encode("utf-8")

    def test_bytes_that_are_no_image_give_the_error_object(self):
        png = lv.read(lv.sample("astronaut.png"))
        cases = {
            "zero bytes": (b"", 0),
            "zero count over real bytes": (png, 0),
            "garbage": (bytes(range(256)) * 8, None),
            "png signature only": (png[:16], None),
            "negative count": (png, -5),
            # Decoding would need 3.6 GB: refused from the header alone.
            "oversized header": (png_claiming(60000, 60000), None),
        }
        for name, (data, count) in cases.items():
            with self.subTest(name):
                self.assertEqual(lv.read_text_raw(data, count), self.FAILURE)

    def test_missing_models_are_reported(self):
        # A fresh process whose recogniser finds no models: the text reader says so, the
        # region finder fails; neither crashes nor returns null.
        work = lv.Workdir()
        try:
            page = lv.text_image(work.file("page.png"), ["Sem modelos"], width=600, height=200)
            script = ("import json, lvimage as lv\n"
                      f"data = lv.read({page!r})\n"
                      "print(json.dumps([lv.read_text(data), lv.detect_regions(data, 0, 4)[0]]))\n")
            env = dict(os.environ, TESSDATA_PREFIX=work.path)
            output = subprocess.run([sys.executable, "-c", script], env=env, check=True, capture_output=True,
                                    text=True, cwd=os.path.dirname(os.path.abspath(__file__))).stdout
            self.assertEqual(json.loads(output),
                             [{"Erro": "Não foi possível carregar os modelos de reconhecimento de texto."}, -1])
        finally:
            work.remove()

    def test_null_bytes_and_null_free(self):
        result = lv.lib.lv_read_text(None, 100)
        self.assertEqual(lv._take_text(result), self.FAILURE)
        lv.lib.lv_free_text(None)  # must simply return


if __name__ == "__main__":
    unittest.main()
