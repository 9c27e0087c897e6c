"""The happy path end to end: a realistic zip-writing bundle makes a multi-megabyte
document that real zip readers accept."""

import base64
import io
import json
import os
import random
import subprocess
import unittest
import zipfile
from xml.etree import ElementTree

from pages_harness import PagesTestCase

BUNDLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "bundles", "zip_document.js")
WORDS = ["ação", "Pages", "<tag>", "&", "naïve", "😀", "\"quoted\"", "日本語", "plain", "text"]


def make_description(paragraphs, attachment_bytes, seed=7):
    rng = random.Random(seed)
    return {
        "title": "Relatório & <Resumo> 😀",
        "paragraphs": [" ".join(rng.choice(WORDS) for _ in range(30)) for _ in range(paragraphs)],
        "notes": [base64.b64encode("Nota: coração\u2014fim".encode()).decode()],
        "attachments": [
            {"name": "image.bin", "data": base64.b64encode(rng.randbytes(attachment_bytes)).decode()},
            {"name": "empty.txt", "data": ""},
        ],
    }


class Document(PagesTestCase):
    def test_a_multi_megabyte_package_reads_back_whole(self):
        doc = make_description(paragraphs=40000, attachment_bytes=1_500_000)
        with open(BUNDLE) as f:
            run = self.run_bundle(f.read(), json.dumps(doc, ensure_ascii=False),
                                  output=self.path("doc.pages"))
        self.assertStatus(run, 0)
        self.assertGreater(len(run.output), 8_000_000)

        tested = subprocess.run(["unzip", "-tq", self.path("doc.pages")], capture_output=True, text=True)
        self.assertEqual(tested.returncode, 0, tested.stdout + tested.stderr)

        with zipfile.ZipFile(io.BytesIO(run.output)) as package:
            self.assertIsNone(package.testzip())
            self.assertEqual(package.namelist(), [
                "Index/Document.xml", "Metadata/DocumentIdentifier", "Metadata/Properties.json",
                "Data/image.bin", "Data/empty.txt"])
            root = ElementTree.fromstring(package.read("Index/Document.xml"))
            self.assertEqual(root.findtext("title"), doc["title"])
            self.assertEqual([p.text for p in root.findall("p")], doc["paragraphs"])
            self.assertEqual(root.findtext("note"), "Nota: coração\u2014fim")
            self.assertEqual(package.read("Data/image.bin"),
                             base64.b64decode(doc["attachments"][0]["data"]))
            self.assertEqual(package.read("Data/empty.txt"), b"")
            self.assertEqual(json.loads(package.read("Metadata/Properties.json")), {
                "title": doc["title"], "paragraphs": 40000,
                "attachments": ["image.bin", "empty.txt"]})
            identifier = package.read("Metadata/DocumentIdentifier").decode()
            self.assertRegex(identifier, r"^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$")

    def test_each_run_draws_a_fresh_identifier(self):
        doc = json.dumps(make_description(paragraphs=10, attachment_bytes=100))
        with open(BUNDLE) as f:
            script = f.read()
        packages = []
        for name in ("a.pages", "b.pages"):
            run = self.run_bundle(script, doc, output=self.path(name))
            self.assertStatus(run, 0)
            packages.append(zipfile.ZipFile(io.BytesIO(run.output)))
        self.assertEqual(*(p.read("Index/Document.xml") for p in packages))
        self.assertNotEqual(*(p.read("Metadata/DocumentIdentifier") for p in packages))


if __name__ == "__main__":
    unittest.main()
