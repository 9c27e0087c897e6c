"""lv_read_text gives the lines a reader sees, in reading order, on a ground-truth set of
pages: columns, a form, mixed sizes, a slanted scan, accents, a tight crop, and the layouts on
which the recogniser's own page analysis splits, glues or erases text."""
import unittest

import lvimage as lv
import reading_pages


class ReadingOrderTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = lv.Workdir()
        cls.pages = reading_pages.pages(cls.work.path)

    @classmethod
    def tearDownClass(cls):
        cls.work.remove()

    def test_every_page_reads_line_for_line(self):
        for name, (path, expected) in self.pages.items():
            with self.subTest(name):
                lines = lv.read_text(lv.read(path))["Linhas"]
                self.assertEqual([line["Texto"] for line in lines], expected)
                for line in lines:
                    area = line["Area"]
                    self.assertTrue(0 <= area["X"] and area["X"] + area["Largura"] <= 1 + 1e-9, area)
                    self.assertTrue(0 <= area["Y"] and area["Y"] + area["Altura"] <= 1 + 1e-9, area)

    def test_columns_keep_their_own_areas(self):
        # Lines of the left column end before the right column begins, and the right column's
        # lines start at its left edge (480 of 820 pixels).
        path, expected = self.pages["two_columns"]
        lines = lv.read_text(lv.read(path))["Linhas"]
        left, right = lines[:3], lines[3:]
        self.assertTrue(all(line["Area"]["X"] + line["Area"]["Largura"] < 470 / 820 for line in left))
        for line in right:
            self.assertAlmostEqual(line["Area"]["X"], 480 / 820, delta=0.01)

    def test_tight_crop_areas_reach_the_edges(self):
        # The page is cut to its ink: the first line starts at the top-left corner and the last
        # one ends at the bottom, although the recogniser saw the image with a white margin.
        path, _ = self.pages["tight_crop"]
        lines = lv.read_text(lv.read(path))["Linhas"]
        self.assertAlmostEqual(lines[0]["Area"]["X"], 0.0, delta=0.005)
        self.assertAlmostEqual(lines[0]["Area"]["Y"], 0.0, delta=0.01)
        self.assertAlmostEqual(lines[-1]["Area"]["Y"] + lines[-1]["Area"]["Altura"], 1.0, delta=0.01)

    def test_text_regions_are_the_reading_lines(self):
        path, expected = self.pages["three_columns"]
        data = lv.read(path)
        areas = [line["Area"] for line in lv.read_text(data)["Linhas"]]
        result, records, _ = lv.detect_regions(data, 0, 16)
        self.assertEqual(result, len(expected))
        for record, area in zip(records, areas):
            for got, want in zip((record.x, record.y, record.width, record.height),
                                 (area["X"], area["Y"], area["Largura"], area["Altura"])):
                self.assertAlmostEqual(got, want, delta=0.01)


if __name__ == "__main__":
    unittest.main()
