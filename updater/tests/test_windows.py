"""The standard GTK windows appear on a real display (run under xvfb-run)."""
import os
import subprocess
import time
import unittest

import updater_harness as h


class WindowsTest(unittest.TestCase):
    def test_update_found_window_is_drawn(self):
        space = h.Workspace()
        self.addCleanup(space.close)
        keys = h.Keys()
        with h.serve(space.served) as base:
            bundle = h.make_bundle(space.apps, "1.0", feed_url=base + "/appcast.xml", key=keys.public_base64)
            archive = h.update_archive("zip", "2.0")
            space.write("a.zip", archive)
            space.write("appcast.xml", h.appcast([{"version": "2.0", "url": base + "/a.zip", "length": len(archive),
                                                   "signature": keys.sign(archive),
                                                   "notes": "Novidades desta versão"}]))
            env = h.host_environment(space.config, script=None)
            host = subprocess.Popen([os.path.join(bundle, "Contents", "MacOS", "host"), "start", "check"], env=env)
            try:
                time.sleep(4)
                shot = os.environ.get("LUMIVANE_UPDATER_SCREENSHOT", os.path.join(space.root, "screen.png"))
                subprocess.run(["import", "-window", "root", shot], check=True, timeout=60)
                spread = subprocess.run(["convert", shot, "-colorspace", "gray", "-format", "%[fx:standard_deviation]",
                                         "info:"], check=True, capture_output=True, text=True).stdout
                self.assertGreater(float(spread), 0.01)  # not an empty screen
                self.assertIsNone(host.poll())
            finally:
                host.kill()
                host.wait()


if __name__ == "__main__":
    unittest.main()
