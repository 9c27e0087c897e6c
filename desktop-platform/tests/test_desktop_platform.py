"""The desktop layer seen from a process: bundles made at test time around a copy of the probe."""
import json
import os
import shutil
import subprocess
import tempfile
import unittest

PROBE = os.environ["LUMIVANE_DESKTOP_PROBE"]

INFO = """<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict>
  <key>CFBundleIdentifier</key><string>com.lumivane.ação</string>
  <key>SUFeedURL</key><string>https://example.invalid/appcast.xml</string>
  <key>SUScheduledCheckInterval</key><integer>7200</integer>
  <key>SUEnableAutomaticChecks</key><false/>
</dict></plist>
"""


def run_probe(exe):
    out = subprocess.run([exe], check=True, capture_output=True, text=True, timeout=60).stdout
    return json.loads(out)


class DesktopPlatform(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.dir)

    def make_bundle(self, name, info_form):
        macos = os.path.join(self.dir, name, "Contents", "MacOS")
        os.makedirs(macos)
        exe = os.path.join(macos, "host")
        shutil.copy(PROBE, exe)
        if info_form:
            xml = os.path.join(self.dir, "Info.xml")
            with open(xml, "w", encoding="utf-8") as f:
                f.write(INFO)
            plist = os.path.join(self.dir, name, "Contents", "Info.plist")
            if info_form == "xml":
                shutil.copy(xml, plist)
            else:
                subprocess.run(["plistutil", "-i", xml, "-o", plist, "-f", "bin"], check=True)
                with open(plist, "rb") as f:
                    self.assertEqual(f.read(8), b"bplist00")
        return exe

    def test_bundle_dictionary_in_both_forms(self):
        for form in ("xml", "binary"):
            with self.subTest(form=form):
                exe = self.make_bundle(f"{form}.app", form)
                seen = run_probe(exe)
                self.assertEqual(seen["path"], os.path.join(self.dir, f"{form}.app"))
                self.assertEqual(seen["executable"], exe)
                self.assertTrue(seen["app_layout"])
                self.assertEqual(seen["identifier"], "com.lumivane.ação")
                self.assertEqual(seen["feed"], "https://example.invalid/appcast.xml")
                self.assertEqual(seen["interval"], 7200)
                self.assertIs(seen["automatic"], False)

    def test_bundle_without_dictionary_and_plain_executable(self):
        exe = self.make_bundle("Bare.app", None)
        seen = run_probe(exe)
        self.assertTrue(seen["app_layout"])
        self.assertFalse(seen["has_info"])
        self.assertEqual(seen["identifier"], "")

        plain = os.path.join(self.dir, "bin", "host")
        os.makedirs(os.path.dirname(plain))
        shutil.copy(PROBE, plain)
        seen = run_probe(plain)
        self.assertEqual(seen["path"], os.path.dirname(plain))
        self.assertFalse(seen["app_layout"])
        self.assertEqual((seen["identifier"], seen["feed"]), ("", None))

    def test_damaged_dictionary_counts_as_none(self):
        exe = self.make_bundle("Bad.app", None)
        with open(os.path.join(self.dir, "Bad.app", "Contents", "Info.plist"), "wb") as f:
            f.write(b"<plist><dict><key>CFBundleIdentifier</key>")
        seen = run_probe(exe)
        self.assertFalse(seen["has_info"])
        self.assertEqual(seen["identifier"], "")

    def test_threads_and_main_queue(self):
        seen = run_probe(PROBE)
        self.assertTrue(seen["main"])
        self.assertFalse(seen["worker_main"])
        # Work posted from the main thread runs after the poster returns; cancelled work never.
        self.assertEqual(seen["order"], ["posted", "first", "from-worker", "timer"])


if __name__ == "__main__":
    unittest.main()
