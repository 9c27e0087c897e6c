"""Rich text conversion: real RTF from pandoc and LibreOffice and small RTF in the macOS dialect,
converted by the built library and read back with python-docx, LibreOffice and an HTML parser."""
import base64
import ctypes
import html.parser
import os
import plistlib
import shutil
import struct
import subprocess
import unittest
import zipfile

import docx
import docx.text.run

import lvimage as lv

lib = lv.lib
lib.lv_text_to_docx.argtypes = [ctypes.c_char_p, ctypes.c_int32, ctypes.c_char_p, ctypes.c_char_p]
lib.lv_text_to_docx.restype = ctypes.c_int32
lib.lv_rtfd_to_html.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
lib.lv_rtfd_to_html.restype = ctypes.c_int32
lib.lv_clipping_to_docx.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
lib.lv_clipping_to_docx.restype = ctypes.c_int32

SOFFICE = shutil.which("soffice")

MAC_RTF = (rb"{\rtf1\ansi\ansicpg1252\cocoartf2761" b"\n"
           rb"\cocoatextscaling0\cocoaplatform0{\fonttbl\f0\fswiss\fcharset0 Helvetica;\f1\fnil\fcharset0 Menlo-Regular;}"
           b"\n" rb"{\colortbl;\red255\green255\blue255;\red255\green0\blue0;\red0\green0\blue255;}" b"\n"
           rb"{\*\expandedcolortbl;;\cssrgb\c100000\c0\c0;\cssrgb\c0\c0\c100000;}" b"\n"
           rb"\paperw11900\paperh16840\margl1440\margr1440\vieww11520\viewh8400\viewkind0" b"\n"
           rb"\pard\tx566\tx1133\pardirnatural\qc\partightenfactor0" b"\n\n"
           rb"\f0\fs24 \cf0 Caf\'e9 \b negrito\b0  \i it\'e1lico\i0  \ul sublinhado\ulnone  \strike riscado\strike0 \
"
           rb"\pard\tx566\pardirnatural\partightenfactor0" b"\n"
           rb"\cf2 \fs36 vermelho\cf0\fs24  x\super 2\nosupersub  \f1\cf3 azul \uc0\u8364  \u-10179\u-8704 "
           rb"{\*\unknowndest ignorado}\'e7\'e3o}")


def convert(data, type_identifier, path):
    return lib.lv_text_to_docx(data, len(data), type_identifier.encode(), path.encode())


def paragraph_runs(paragraph):
    """Every run of the paragraph, those inside hyperlinks too (python-docx's own list skips them)."""
    return [docx.text.run.Run(element, paragraph) for element in paragraph._p.xpath(".//w:r")]


def paragraph_text(paragraph):
    return "".join(run.text for run in paragraph_runs(paragraph))


def runs(path):
    return [run for paragraph in docx.Document(path).paragraphs for run in paragraph_runs(paragraph)]


def text_of(path):
    return "\n".join(paragraph_text(paragraph) for paragraph in docx.Document(path).paragraphs)


def image_count(path):
    with zipfile.ZipFile(path) as package:
        return sum(1 for name in package.namelist() if name.startswith("word/media/"))


def run_with(path, text):
    return next(run for run in runs(path) if text in run.text)


def png_size(data):
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    return struct.unpack(">II", data[16:24])


class Images(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.sources = []

    def handle_starttag(self, tag, attrs):
        if tag == "img":
            self.sources.append(dict(attrs)["src"])


def image_sources(html_text):
    parser = Images()
    parser.feed(html_text)
    return parser.sources


def soffice_convert(source, target_format, folder):
    """Converts with LibreOffice in its own profile; returns the output path."""
    profile = os.path.join(folder, "lo-profile")
    subprocess.run([SOFFICE, f"-env:UserInstallation=file://{profile}", "--headless", "--convert-to",
                    target_format, "--outdir", folder, source], check=True, capture_output=True, timeout=240)
    base = os.path.splitext(os.path.basename(source))[0]
    return os.path.join(folder, base + "." + target_format.split(":")[0])


class RichTextTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = lv.Workdir()

    @classmethod
    def tearDownClass(cls):
        cls.work.remove()

    def out(self, name):
        path = self.work.file(name)
        if os.path.exists(path):
            os.remove(path)
        return path

    def test_pandoc_rtf_to_docx(self):
        lv.run("convert", "-size", "40x30", "xc:red", self.work.file("pic.png"))
        markdown = self.work.file("doc.md")
        with open(markdown, "w", encoding="utf-8") as handle:
            handle.write("**Olá** *mundo* com [ligação](https://example.com/a) e ação.\n\n"
                         "- primeiro item\n- segundo item\n\n![figura](pic.png)\n")
        rtf = self.work.file("doc.rtf")
        subprocess.run(["pandoc", "-s", "-t", "rtf", markdown, "-o", rtf], check=True, cwd=self.work.path)
        out = self.out("pandoc.docx")
        self.assertEqual(convert(lv.read(rtf), "public.rtf", out), 1)
        text = text_of(out)
        for piece in ("Olá", "mundo", "ligação", "e ação.", "primeiro item", "segundo item"):
            self.assertIn(piece, text)
        self.assertTrue(run_with(out, "Olá").bold)
        self.assertTrue(run_with(out, "mundo").italic)
        self.assertTrue(run_with(out, "ligação").underline)
        self.assertEqual(image_count(out), 1)
        document = docx.Document(out)
        links = [rel.target_ref for rel in document.part.rels.values() if rel.reltype.endswith("/hyperlink")]
        self.assertEqual(links, ["https://example.com/a"])

    def test_mac_dialect_styles(self):
        out = self.out("mac.docx")
        self.assertEqual(convert(MAC_RTF, "RTF ", out), 1)
        paragraphs = docx.Document(out).paragraphs
        self.assertEqual(len(paragraphs), 2)
        self.assertEqual(paragraph_text(paragraphs[0]), "Café negrito itálico sublinhado riscado")
        self.assertEqual(paragraph_text(paragraphs[1]), "vermelho x2 azul € \U0001F600ção")
        self.assertEqual(paragraphs[0].alignment, 1)  # centred
        self.assertEqual(run_with(out, "Café").font.name, "Helvetica")
        self.assertFalse(run_with(out, "Café").bold)
        self.assertTrue(run_with(out, "negrito").bold)
        self.assertFalse(bool(run_with(out, "itálico").bold))
        self.assertTrue(run_with(out, "itálico").italic)
        self.assertTrue(run_with(out, "sublinhado").underline)
        self.assertFalse(bool(run_with(out, "riscado").underline))
        self.assertTrue(run_with(out, "riscado").font.strike)
        red = run_with(out, "vermelho")
        self.assertEqual(str(red.font.color.rgb), "FF0000")
        self.assertEqual(red.font.size.pt, 18)
        self.assertTrue(run_with(out, "2").font.superscript)
        blue = run_with(out, "azul")
        self.assertEqual(str(blue.font.color.rgb), "0000FF")
        self.assertEqual(blue.font.name, "Menlo-Regular")

    def test_type_identifiers(self):
        cases = [
            # (type, bytes, expected text or None for failure)
            ("RTF", rb"{\rtf1 plain}", r"{\rtf1 plain}"),
            ("public.utf8-plain-text", "ação\nlinha".encode(), "ação\nlinha"),
            ("com.example.other", "olá".encode(), "olá"),
            ("public.utf8-plain-text", b"\xff\xfe bad", None),
            ("TEXT", b"Caf\x8e \xa5", "Café •"),
            ("com.apple.traditional-mac-plain-text", b"\x87", "á"),
            ("utxt", "ação".encode("utf-16-be"), "ação"),
            ("public.utf16-plain-text", b"\x00a\x00", None),
            ("ut16", b"\xff\xfe" + "ç€".encode("utf-16-le"), "ç€"),
            ("public.utf16-external-plain-text", b"\xfe\xff" + "ñ".encode("utf-16-be"), "ñ"),
            ("ut16", "sem marca".encode("utf-16-be"), "sem marca"),
            ("utxt", b"\xd8\x00\x00a", None),  # lone surrogate
            ("public.rtf", b"not rtf at all", None),
        ]
        for type_identifier, data, expected in cases:
            with self.subTest(type=type_identifier, data=data):
                out = self.out("type.docx")
                result = convert(data, type_identifier, out)
                if expected is None:
                    self.assertEqual(result, 0)
                    self.assertFalse(os.path.exists(out))
                else:
                    self.assertEqual(result, 1)
                    self.assertEqual(text_of(out), expected)

    def test_failed_write_leaves_no_file_and_keeps_an_old_one(self):
        self.assertEqual(convert(b"x", "public.utf8-plain-text", self.work.file("missing/dir/out.docx")), 0)
        out = self.out("keep.docx")
        with open(out, "wb") as handle:
            handle.write(b"old")
        self.assertEqual(convert(b"\xc3", "public.utf8-plain-text", out), 0)
        self.assertEqual(lv.read(out), b"old")
        self.assertEqual([name for name in os.listdir(self.work.path) if name.startswith(".keep")], [])

    def write_plist(self, name, value, binary=False):
        path = self.work.file(name)
        with open(path, "wb") as handle:
            plistlib.dump(value, handle, fmt=plistlib.FMT_BINARY if binary else plistlib.FMT_XML)
        return path

    def test_clipping_entries(self):
        rtf = rb"{\rtf1\ansi{\fonttbl\f0 Helvetica;}\f0 \b rico}"
        cases = [
            # (UTI-Data, binary plist, expected text, bold)
            ({"public.rtf": rtf, "public.utf8-plain-text": b"plano"}, False, "rico", True),
            ({"public.rtf": rtf, "public.utf8-plain-text": b"plano"}, True, "rico", True),
            ({"public.rtf": b"broken", "public.utf8-plain-text": b"plano"}, False, "plano", False),
            ({"public.utf8-plain-text": "cadeia ç"}, True, "cadeia ç", False),
            ({"public.rtf": rtf.decode()}, False, "rico", True),
            ({"public.utf8-plain-text": b"\xff", "public.utf16-plain-text": "dezesseis".encode("utf-16-be")},
             False, "dezesseis", False),
            ({"public.utf8-plain-text": 7, "com.apple.traditional-mac-plain-text": b"Mac \x8e"}, True, "Mac é", False),
            ({"public.utf8-plain-text": b"\xff"}, False, None, None),
            ({}, False, None, None),
        ]
        for entries, binary, expected, bold in cases:
            with self.subTest(entries=entries, binary=binary):
                clipping = self.write_plist("c.textClipping", {"UTI-Data": entries}, binary)
                out = self.out("clip.docx")
                result = lib.lv_clipping_to_docx(clipping.encode(), out.encode())
                if expected is None:
                    self.assertEqual(result, 0)
                    self.assertFalse(os.path.exists(out))
                    continue
                self.assertEqual(result, 1)
                self.assertEqual(text_of(out), expected)
                self.assertEqual(bool(run_with(out, expected).bold), bold)

    def test_clipping_shapes_and_size_limit(self):
        out = self.out("shape.docx")
        for value in (["UTI-Data"], {"UTI-Data": "x"}, {"Other": {}}):
            path = self.write_plist("shape.textClipping", value)
            self.assertEqual(lib.lv_clipping_to_docx(path.encode(), out.encode()), 0)
        garbage = self.work.file("garbage.textClipping")
        with open(garbage, "wb") as handle:
            handle.write(b"\x00\x01garbage")
        self.assertEqual(lib.lv_clipping_to_docx(garbage.encode(), out.encode()), 0)
        self.assertEqual(lib.lv_clipping_to_docx(self.work.file("none").encode(), out.encode()), 0)
        self.assertFalse(os.path.exists(out))
        limit = 33554432
        prefix = (b'<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict><key>UTI-Data</key><dict>'
                  b"<key>public.utf8-plain-text</key><string>limite</string></dict><key>Pad</key><string>")
        suffix = b"</string></dict></plist>\n"
        for size, expected in ((limit, 1), (limit + 1, 0)):
            path = self.work.file("big.textClipping")
            with open(path, "wb") as handle:
                handle.write(prefix + b"p" * (size - len(prefix) - len(suffix)) + suffix)
            self.assertEqual(os.path.getsize(path), size)
            self.assertEqual(lib.lv_clipping_to_docx(path.encode(), out.encode()), expected, size)
        self.assertEqual(text_of(out), "limite")

    def make_rtfd(self, name, body, files):
        folder = self.work.file(name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        with open(os.path.join(folder, "TXT.rtf"), "wb") as handle:
            handle.write(rb"{\rtf1\ansi\ansicpg1252\cocoartf2761{\fonttbl\f0\fswiss\fcharset0 Helvetica;}"
                         + b"\n" + rb"\pard\f0\fs24 " + body + b"}")
        for file_name, data in files.items():
            with open(os.path.join(folder, file_name), "wb") as handle:
                handle.write(data)
        return folder

    @staticmethod
    def graphic(file_name):
        return (b"{{\\NeXTGraphic " + file_name.encode("cp1252") +
                b" \\width800 \\height600 \\appleattachmentpadding0 \\appleembedtype0 \\appleaqc\n}\xac}")

    def test_rtfd_pictures_become_data_uris(self):
        lv.run("convert", "-size", "31x17", "xc:blue", self.work.file("a.png"))
        lv.run("convert", "-size", "12x40", "gradient:", self.work.file("b.jpg"))
        lv.run("convert", "-size", "9x8", "xc:green", self.work.file("c.tiff"))
        files = {"foto com espaço.png": lv.read(self.work.file("a.png")), "b.jpg": lv.read(self.work.file("b.jpg")),
                 "c.tiff": lv.read(self.work.file("c.tiff"))}
        body = (b"Antes \\'e9 " + self.graphic("foto com espa\xe7o.png".encode("latin-1").decode("latin-1")) +
                b" meio " + self.graphic("b.jpg") + b"\\\n" + self.graphic("c.tiff") + b" fim")
        folder = self.make_rtfd("doc.rtfd", body, files)
        out = self.out("doc.html")
        self.assertEqual(lib.lv_rtfd_to_html(folder.encode(), out.encode()), 1)
        with open(out, encoding="utf-8") as handle:
            page = handle.read()
        self.assertIn("Antes é", page)
        self.assertNotIn("file:///", page)
        sources = image_sources(page)
        self.assertEqual(len(sources), 3)
        sizes = []
        for source in sources:
            self.assertTrue(source.startswith("data:image/png;base64,"))
            sizes.append(png_size(base64.b64decode(source.split(",", 1)[1], validate=True)))
        self.assertEqual(sizes, [(31, 17), (12, 40), (9, 8)])

    def test_rtfd_failures_and_plain(self):
        folder = self.make_rtfd("plain.rtfd", rb"s\'f3 texto", {})
        out = self.out("plain.html")
        self.assertEqual(lib.lv_rtfd_to_html(folder.encode(), out.encode()), 1)
        with open(out, encoding="utf-8") as handle:
            page = handle.read()
        self.assertIn("só texto", page)
        self.assertEqual(image_sources(page), [])
        self.assertTrue(page.startswith("<!DOCTYPE html>"))
        shutil.make_archive(self.work.file("arch"), "zip", folder)
        cases = [
            self.make_rtfd("zip.rtfd", b"x " + self.graphic("arch.zip"), {"arch.zip": lv.read(self.work.file("arch.zip"))}),
            self.work.file("missing.rtfd"),
            self.make_rtfd("notrtf.rtfd", b"", {}),
        ]
        with open(os.path.join(cases[2], "TXT.rtf"), "wb") as handle:
            handle.write(b"plain words")
        for path in cases:
            with self.subTest(path=path):
                out = self.out("fail.html")
                self.assertEqual(lib.lv_rtfd_to_html(path.encode(), out.encode()), 0)
                self.assertFalse(os.path.exists(out))

    @unittest.skipUnless(SOFFICE, "LibreOffice is not installed")
    def test_libreoffice_round_trip(self):
        folder = self.work.file("lo")
        os.makedirs(folder, exist_ok=True)
        source = os.path.join(folder, "source.txt")
        with open(source, "w", encoding="utf-8") as handle:
            handle.write("Texto do LibreOffice com acentuação\nSegunda linha\n")
        lo_rtf = soffice_convert(source, "rtf", folder)
        ours = os.path.join(folder, "ours.docx")
        self.assertEqual(convert(lv.read(lo_rtf), "public.rtf", ours), 1)
        self.assertIn("Texto do LibreOffice com acentuação", text_of(ours))
        self.assertIn("Segunda linha", text_of(ours))
        mac = os.path.join(folder, "mac.docx")
        self.assertEqual(convert(MAC_RTF, "public.rtf", mac), 1)
        back = soffice_convert(mac, "txt:Text (encoded):UTF8", folder)
        with open(back, encoding="utf-8-sig") as handle:
            self.assertIn("Café negrito itálico", handle.read())


if __name__ == "__main__":
    unittest.main()
