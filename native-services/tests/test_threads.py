"""Concurrent calls from several threads give the same results as serial calls. ctypes lets go
of the interpreter lock during each foreign call, so the calls really overlap."""
import threading
import unittest

import lvimage as lv


class ConcurrencyTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = lv.Workdir()
        cls.page = lv.read(lv.text_image(cls.work.file("page.png"), ["Leitura em paralelo", "Várias linhas"]))
        cls.code = lv.read(lv.qr_image(cls.work.file("qr.png"), "Paralelo/QR"))
        cls.photo = lv.read(lv.sample("astronaut.png"))

    @classmethod
    def tearDownClass(cls):
        cls.work.remove()

    def calls(self):
        faces = lv.detect_regions(self.photo, 1, 4)
        lines = lv.detect_regions(self.page, 0, 4)
        return (lv.read_text_raw(self.page), lv.read_qr_raw(self.code),
                faces[0], [tuple((r.x, r.y, r.width, r.height)) for r in faces[1][:max(faces[0], 0)]],
                lines[0], [tuple((r.x, r.y, r.width, r.height)) for r in lines[1][:max(lines[0], 0)]])

    def test_parallel_results_equal_serial_results(self):
        serial = self.calls()
        self.assertIn("Várias linhas".encode("utf-8"), serial[0])
        self.assertEqual(serial[2], 1)
        results, errors = [], []

        def worker():
            try:
                for _ in range(2):
                    results.append(self.calls())
            except Exception as error:  # reported below, on the main thread
                errors.append(error)

        threads = [threading.Thread(target=worker) for _ in range(4)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        self.assertEqual(errors, [])
        self.assertEqual(len(results), 8)
        for result in results:
            self.assertEqual(result, serial)


if __name__ == "__main__":
    unittest.main()
