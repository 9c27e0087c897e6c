"""lv_read_qr on QR codes made with qrencode."""
import unittest

import lvimage as lv

QR_FAILURE = '{"Erro":"Não foi possível conferir os QR codes da imagem."}'.encode("utf-8")


class ReadQrTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = lv.Workdir()

    @classmethod
    def tearDownClass(cls):
        cls.work.remove()

    def test_payload_is_raw_utf8_with_escaped_solidus(self):
        code = lv.qr_image(self.work.file("one.png"), "https://exemplo.com.br/ação?x=1")
        self.assertEqual(lv.read_qr_raw(lv.read(code)),
                         '{"Codigos":["https:\\/\\/exemplo.com.br\\/ação?x=1"]}'.encode("utf-8"))

    def test_every_code_is_listed_and_equal_payloads_repeat(self):
        first = lv.qr_image(self.work.file("a.png"), "Pedido 42")
        second = lv.qr_image(self.work.file("b.png"), "Pedido 42")
        third = lv.qr_image(self.work.file("c.png"), "Outro código")
        path = self.work.file("three.png")
        lv.run("convert", first, second, third, "-background", "white", "+append", path)
        codes = lv.read_qr(lv.read(path))["Codigos"]
        self.assertEqual(sorted(codes), sorted(["Pedido 42", "Pedido 42", "Outro código"]))
        # The order is the detector's, but it is the same on every call.
        self.assertEqual(lv.read_qr(lv.read(path))["Codigos"], codes)

    def test_code_inside_a_photo_tilted(self):
        code = lv.qr_image(self.work.file("small.png"), "Foto com código", module_size=5)
        path = self.work.file("photo.jpg")
        lv.run("convert", lv.sample("astronaut.png"), "(", code, "-background", "white", "-rotate", "20", ")",
               "-geometry", "+300+280", "-composite", "-quality", "85", path)
        self.assertEqual(lv.read_qr(lv.read(path)), {"Codigos": ["Foto com código"]})

    def test_payloads_with_control_characters(self):
        # The detector calls these payloads binary; they are text all the same. qrencode's -8
        # takes the file's bytes whole, NUL included.
        cases = {"tab": b"a\tb", "U+0001": b"x\x01y", "U+001F": b"x\x1fy", "NUL": b"n\x00ul",
                 "accents and a tab": "ação\tcoração".encode("utf-8")}
        for name, payload in cases.items():
            with self.subTest(name):
                source, path = self.work.file("payload"), self.work.file("control.png")
                with open(source, "wb") as handle:
                    handle.write(payload)
                lv.run("qrencode", "-8", "-r", source, "-o", path)
                raw = lv.read_qr_raw(lv.read(path))
                self.assertEqual(lv.json.loads(raw.decode("utf-8")), {"Codigos": [payload.decode("utf-8")]})
                # Control characters are escaped, never written raw.
                self.assertFalse(any(byte < 0x20 for byte in raw), raw)

    def test_bytes_that_are_no_text_are_left_out(self):
        source, path = self.work.file("binary"), self.work.file("binary.png")
        with open(source, "wb") as handle:
            handle.write(bytes([0xff, 0xfe, 0x00, 0x80, 0xc3]) * 4)
        lv.run("qrencode", "-8", "-r", source, "-o", path)
        self.assertEqual(lv.read_qr_raw(lv.read(path)), b'{"Codigos":[]}')

    def test_images_without_codes(self):
        for name, path in {"photo": lv.sample("astronaut.png"),
                           "text": lv.text_image(self.work.file("text.png"), ["Sem código"])}.items():
            with self.subTest(name):
                self.assertEqual(lv.read_qr_raw(lv.read(path)), b'{"Codigos":[]}')

    def test_bytes_that_are_no_image(self):
        png = lv.read(lv.qr_image(self.work.file("bad.png"), "x"))
        for name, (data, count) in {"zero": (b"", 0), "garbage": (b"\x00\xffnot an image" * 50, None),
                                    "truncated": (png[:40], None), "negative count": (png, -1)}.items():
            with self.subTest(name):
                self.assertEqual(lv.read_qr_raw(data, count), QR_FAILURE)
        self.assertEqual(lv._take_text(lv.lib.lv_read_qr(None, 10)), QR_FAILURE)


if __name__ == "__main__":
    unittest.main()
