"""lv_detect_regions: faces in the sample photos, text lines in rendered pages, and the
capacity rules of the caller's record array."""
import unittest

import lvimage as lv

FACES, TEXT = 1, 0
# Where the face lies in astronaut.png (512 x 512): left, top, right, bottom in pixels.
ASTRONAUT_FACE = (176, 78, 266, 168)


def as_tuple(region):
    return (region.x, region.y, region.width, region.height)


class FaceRegionsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = lv.Workdir()
        cls.astronaut = lv.read(lv.sample("astronaut.png"))
        # Three astronauts side by side at 60 %, 100 % and 35 %: three faces of different sizes.
        cls.three_path = cls.work.file("three.png")
        lv.run("convert", "(", lv.sample("astronaut.png"), "-resize", "60%", ")", lv.sample("astronaut.png"),
               "(", lv.sample("astronaut.png"), "-resize", "35%", ")", "-background", "gray", "+append",
               "+repage", cls.three_path)
        cls.three = lv.read(cls.three_path)

    @classmethod
    def tearDownClass(cls):
        cls.work.remove()

    def test_the_astronaut_face(self):
        result, records, untouched = lv.detect_regions(self.astronaut, FACES, 4)
        self.assertEqual(result, 1)
        self.assertTrue(untouched)
        left, top, right, bottom = ASTRONAUT_FACE
        expected = (left / 512, top / 512, (right - left) / 512, (bottom - top) / 512)
        for got, want in zip(as_tuple(records[0]), expected):
            self.assertAlmostEqual(got, want, delta=0.03)

    def test_three_faces_and_the_capacity_rules(self):
        full, records, _ = lv.detect_regions(self.three, FACES, 8)
        self.assertEqual(full, 3)
        found = [as_tuple(r) for r in records[:3]]
        # One face in each third of the picture, whatever the detector's order.
        self.assertEqual(sorted(int(x * 3) for x, _, _, _ in found), [0, 1, 2])
        cases = {
            "capacity zero": (0, -2),
            "too small": (2, -2),
            "exact": (3, 3),
            "roomy": (10, 3),
        }
        for name, (capacity, expected) in cases.items():
            with self.subTest(name):
                result, written, untouched = lv.detect_regions(self.three, FACES, capacity)
                self.assertEqual(result, expected)
                self.assertTrue(untouched, "wrote past the capacity")
                count = min(capacity, 3)
                self.assertEqual([as_tuple(r) for r in written[:count]], found[:count])
                self.assertTrue(all(r.x == -7.0 for r in written[count:]))

    def test_photos_without_faces(self):
        for name in ["chelsea.png", "coffee.png"]:
            for capacity in (0, 4):
                with self.subTest(name, capacity=capacity):
                    result, _, untouched = lv.detect_regions(lv.read(lv.sample(name)), FACES, capacity)
                    self.assertEqual(result, 0)
                    self.assertTrue(untouched)

    def test_a_face_cut_by_the_top_edge_starts_at_zero(self):
        path = self.work.file("top.png")
        lv.run("convert", lv.sample("astronaut.png"), "-crop", "512x380+0+80", "+repage", path)
        result, records, _ = lv.detect_regions(lv.read(path), FACES, 4)
        self.assertEqual(result, 1)
        self.assertEqual(records[0].y, 0.0)
        self.assertAlmostEqual(records[0].x, 176 / 512, delta=0.03)

    def test_failures_write_nothing(self):
        cases = {
            "garbage": (b"\x89PNG\r\n\x1a\n" + b"\x00" * 300, FACES, 4),
            "zero bytes": (b"", FACES, 4),
            "garbage, text mode": (b"plain text, no picture" * 20, TEXT, 4),
            "negative capacity": (self.astronaut, FACES, -3),
        }
        for name, (data, mode, capacity) in cases.items():
            with self.subTest(name):
                records = (lv.Region * 4)(*[lv.Region(-7, -7, -7, -7)] * 4)
                buffer = lv.ctypes.create_string_buffer(data, len(data)) if data else None
                self.assertEqual(lv.lib.lv_detect_regions(buffer, len(data), mode, records, capacity), -1)
                self.assertTrue(all(as_tuple(r) == (-7, -7, -7, -7) for r in records))
        # A null record array can only stand with capacity 0.
        self.assertEqual(lv.lib.lv_detect_regions(self.astronaut, len(self.astronaut), FACES, None, 2), -1)
        self.assertEqual(lv.lib.lv_detect_regions(self.astronaut, len(self.astronaut), FACES, None, 0), -2)


class TextRegionsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = lv.Workdir()

    @classmethod
    def tearDownClass(cls):
        cls.work.remove()

    def test_text_lines_match_the_reader_areas(self):
        page = lv.read(lv.text_image(self.work.file("page.png"),
                                     ["Primeira linha do texto", "Segunda linha", "Terceira e última"]))
        result, records, untouched = lv.detect_regions(page, TEXT, 8)
        self.assertEqual(result, 3)
        self.assertTrue(untouched)
        areas = [line["Area"] for line in lv.read_text(page)["Linhas"]]
        for record, area in zip(records, areas):
            for got, want in zip(as_tuple(record), (area["X"], area["Y"], area["Largura"], area["Altura"])):
                self.assertAlmostEqual(got, want, delta=0.01)
        self.assertEqual(lv.detect_regions(page, TEXT, 2)[0], -2)
        self.assertEqual(lv.detect_regions(page, TEXT, 3)[0], 3)

    def test_minimum_height_is_larger_than_for_reading(self):
        # A 16-pixel line in an image 4000 pixels high: above 0.003 of the height (12 pixels),
        # below 0.005 (20 pixels).
        path = self.work.file("tall.png")
        lv.run("convert", "-size", "900x4000", "xc:white", "-font", lv.FONT, "-fill", "black",
               "-pointsize", "60", "-annotate", "+40+100", "Título grande",
               "-pointsize", "20", "-annotate", "+40+200", "letra pequena aqui", path)
        data = lv.read(path)
        self.assertEqual([l["Texto"] for l in lv.read_text(data)["Linhas"]], ["Título grande", "letra pequena aqui"])
        result, records, _ = lv.detect_regions(data, TEXT, 4)
        self.assertEqual(result, 1)
        self.assertLess(records[0].y, 0.03)

    def test_no_text_no_regions(self):
        path = self.work.file("blank.png")
        lv.run("convert", "-size", "500x300", "xc:white", path)
        self.assertEqual(lv.detect_regions(lv.read(path), TEXT, 0)[0], 0)


if __name__ == "__main__":
    unittest.main()
