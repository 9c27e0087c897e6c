"""The library prints nothing: damaged files make the decoders talk, and none of it may reach
the host's standard error. Each case runs in a fresh host process whose standard error is
captured whole."""
import os
import struct
import subprocess
import sys
import unittest
import zlib

import lvimage as lv

HOST = """
import lvimage as lv, sys
data = lv.read(sys.argv[1])
print(lv.read_text_raw(data).decode("utf-8"))
print(lv.read_qr_raw(data).decode("utf-8"))
print(lv.detect_regions(data, 1, 4)[0], lv.detect_regions(data, 0, 4)[0])
"""


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xffffffff)


class QuietLibraryTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = lv.Workdir()
        page = lv.text_image(cls.work.file("page.png"), ["Arquivo danificado"], width=600, height=180)
        png = lv.read(page)
        lv.run("convert", page, "-quality", "90", cls.work.file("page.jpg"))
        jpeg = lv.read(cls.work.file("page.jpg"))
        flipped = bytearray(png)
        flipped[40] ^= 0xff  # inside the first chunk after the header: a bad chunk type
        cls.cases = {
            # Readable: the profile is broken, the picture is not.
            "iCCP profile too short": (png[:33] + chunk(b"iCCP", b"perfil\x00\x00" + zlib.compress(b"x" * 40)) + png[33:],
                                       True),
            "truncated PNG": (png[:len(png) * 2 // 3], False),
            "corrupt PNG chunk": (bytes(flipped), False),
            "truncated JPEG": (jpeg[:len(jpeg) * 2 // 3], False),
            "JPEG without its end": (jpeg[:-2], None),
            "truncated TIFF": (None, False),
        }
        lv.run("convert", page, "-compress", "none", cls.work.file("page.tif"))
        tiff = lv.read(cls.work.file("page.tif"))
        cls.cases["truncated TIFF"] = (tiff[:len(tiff) // 2], False)

    @classmethod
    def tearDownClass(cls):
        cls.work.remove()

    def test_damaged_files_leave_standard_error_empty(self):
        for name, (data, readable) in self.cases.items():
            with self.subTest(name):
                path = self.work.file("damaged")
                with open(path, "wb") as handle:
                    handle.write(data)
                host = subprocess.run([sys.executable, "-c", HOST, path], capture_output=True,
                                      cwd=os.path.dirname(os.path.abspath(__file__)))
                self.assertEqual(host.returncode, 0, host.stderr)
                self.assertEqual(host.stderr, b"")
                text, codes, regions = host.stdout.decode("utf-8").splitlines()
                if readable:
                    self.assertIn("Arquivo danificado", text)
                    self.assertEqual(codes, '{"Codigos":[]}')
                elif readable is False:
                    self.assertEqual(text, '{"Erro":"Não foi possível reconhecer o texto."}')
                    self.assertEqual(regions, "-1 -1")


if __name__ == "__main__":
    unittest.main()
