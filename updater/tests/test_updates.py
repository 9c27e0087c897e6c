"""Updates end to end: a bundle made here, an appcast and signed archives on a loopback server."""
import configparser
import os
import signal
import subprocess
import time
import unittest

import updater_harness as h


class UpdatesTest(unittest.TestCase):
    def setUp(self):
        self.space = h.Workspace()
        self.addCleanup(self.space.close)
        self.keys = h.Keys()
        self.server = h.serve(self.space.served)
        self.base = self.server.__enter__()
        self.addCleanup(self.server.__exit__, None, None, None)
        self.bundle = h.make_bundle(self.space.apps, "1.0", feed_url=self.base + "/appcast.xml",
                                    key=self.keys.public_base64)
        self.env = h.host_environment(self.space.config, LUMIVANE_TEST_LAUNCH_LOG=self.space.launch_log)

    def publish(self, archive, version="2.0", name="App-2.0.zip", signature="good", length=None, served=None):
        good = self.keys.sign(archive)
        signature = {"good": good, "none": None,
                     "bad": h.base64.b64encode(bytes(64)).decode(),
                     "other key": h.Keys().sign(archive)}[signature]
        self.space.write(name, archive if served is None else served)
        self.space.write("appcast.xml", h.appcast([
            {"version": "0.5", "url": self.base + "/old.zip", "length": 1, "signature": good},
            {"version": version, "url": self.base + "/" + name,
             "length": len(archive) if length is None else length, "signature": signature,
             "notes": "Correções <b>importantes</b>"}]))

    def leftovers(self):
        return [name for name in os.listdir(self.space.apps) if name != "App.app"]

    def test_newer_version_is_installed_and_runs_after_the_relaunch(self):
        for kind in ("zip", "tar.gz", "tar.xz"):
            with self.subTest(kind):
                h.shutil.rmtree(self.bundle)
                self.bundle = h.make_bundle(self.space.apps, "1.0", feed_url=self.base + "/appcast.xml",
                                            key=self.keys.public_base64)
                self.publish(h.update_archive(kind, "2.0"), name="App-2.0." + kind)
                before = len(self.space.launches())
                status, out, err = h.run_host(self.bundle, ["start", "check"], self.env)
                self.assertEqual(status, 0, err)
                self.assertIn("updater-script: found 2.0 notes=Correções <b>importantes</b>", err)
                self.assertIn("updater-script: downloaded %d" % len(h.update_archive(kind, "2.0")), err)
                self.assertIn("updater-script: ready-to-restart", err)
                self.assertEqual(out[-1], "exited=0")
                self.assertTrue(h.wait_for(lambda: len(self.space.launches()) > before), "no relaunch")
                self.assertTrue(self.space.launches()[-1].startswith("launched=2.0"))
                with open(os.path.join(self.bundle, "Contents", "Resources.txt")) as f:
                    self.assertEqual(f.read(), "resources of version 2.0\n")
                self.assertEqual(self.leftovers(), [])

    def test_busy_host_postpones_the_relaunch_until_it_is_no_longer_busy(self):
        self.publish(h.update_archive("zip", "2.0"))
        host = subprocess.Popen([os.path.join(self.bundle, "Contents", "MacOS", "host"), "start", "busy=1", "check"],
                                env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        try:
            for line in host.stderr:
                if line.strip() == "updater-script: restart-postponed":
                    break
            # Installed, but the old process keeps running and nothing is relaunched.
            time.sleep(1.0)
            self.assertIsNone(host.poll())
            self.assertEqual(self.space.launches(), [])
            with open(os.path.join(self.bundle, "Contents", "Resources.txt")) as f:
                self.assertEqual(f.read(), "resources of version 2.0\n")
            host.send_signal(signal.SIGUSR1)  # LVUpdaterSetBusy(0) from a worker thread
            out, err = host.communicate(timeout=60)
        finally:
            if host.poll() is None:
                host.kill()
                host.wait()
        self.assertEqual(host.returncode, 0)
        # The call returned before the relaunch began, which then ran once.
        self.assertEqual(out.splitlines()[-2:], ["busy-from-signal=0", "exited=0"])
        self.assertTrue(h.wait_for(lambda: self.space.launches()))
        time.sleep(0.5)
        self.assertEqual(len(self.space.launches()), 1)

    def test_busy_before_start_is_forgotten(self):
        self.publish(h.update_archive("zip", "2.0"))
        status, out, err = h.run_host(self.bundle, ["busy=1", "start", "check"], self.env)
        self.assertNotIn("updater-script: restart-postponed", err)
        self.assertTrue(h.wait_for(lambda: self.space.launches()))

    def test_failures_install_nothing(self):
        good = h.update_archive("zip", "2.0")
        cases = [
            ("bad signature", dict(archive=good, signature="bad"), "A assinatura da atualização não é válida."),
            ("signed with another key", dict(archive=good, signature="other key"),
             "A assinatura da atualização não é válida."),
            ("no signature", dict(archive=good, signature="none"), "A atualização não está assinada."),
            ("truncated download", dict(archive=good, served=good[:len(good) // 2]),
             "A atualização baixada está incompleta."),
            ("parent entry", dict(archive=h.update_archive("zip", "2.0", [("App.app/../../evil.txt", b"x")])),
             "A atualização está danificada e não pôde ser instalada."),
            ("absolute entry", dict(archive=h.update_archive("tar.gz", "2.0", [("/tmp/evil.txt", b"x")])),
             "A atualização está danificada e não pôde ser instalada."),
            ("two bundles", dict(archive=h.update_archive("zip", "2.0", [("Other.app/x", b"x")])),
             "A atualização está danificada e não pôde ser instalada."),
            ("missing download", dict(archive=good, name="missing.zip", served=None), None),
            ("equal version", dict(archive=good, version="1.0"), "up-to-date"),
            ("older version", dict(archive=good, version="0.9"), "up-to-date"),
        ]
        before = h.tree_digest(self.bundle)
        for name, publish, expected in cases:
            with self.subTest(name):
                if name == "missing download":
                    self.publish(**publish)
                    os.remove(os.path.join(self.space.served, "missing.zip"))
                    expected = "O download da atualização falhou."
                else:
                    self.publish(**publish)
                status, out, err = h.run_host(self.bundle, ["start", "check", "wait-idle", "quit"], self.env)
                wanted = "updater-script: up-to-date 1.0" if expected == "up-to-date" else "updater-script: error " + expected
                self.assertIn(wanted, err)
                self.assertNotIn("updater-script: ready-to-restart", err)
                self.assertEqual(h.tree_digest(self.bundle), before)
                self.assertEqual(self.leftovers(), [])
                self.assertFalse(os.path.exists("/tmp/evil.txt") and name == "absolute entry")
        self.assertEqual(self.space.launches(), [])

    def test_malformed_appcast(self):
        before = h.tree_digest(self.bundle)
        for text in (b"<rss><channel><item>", b"not xml at all", b"<html><body>no feed</body></html>"):
            with self.subTest(text=text):
                self.space.write("appcast.xml", text)
                status, out, err = h.run_host(self.bundle, ["start", "check", "wait-idle", "quit"], self.env)
                self.assertIn("updater-script: error As informações de atualização estão danificadas.", err)
                self.assertEqual(h.tree_digest(self.bundle), before)

    def test_scheduled_check_from_the_last_check_time_and_skipping(self):
        self.publish(h.update_archive("zip", "2.0"))
        path = os.path.join(self.space.config, "lumivane", "updates.ini")
        os.makedirs(os.path.dirname(path))

        def write_settings(last_check):
            with open(path, "w") as f:
                f.write("[%s]\nAutomaticChecks=true\nLastCheckTime=%d\n" % (h.BUNDLE_ID, last_check))

        # One interval (a day) minus two seconds ago: the check comes about two seconds after start.
        write_settings(int(time.time()) - 86400 + 2)
        env = dict(self.env, LUMIVANE_UPDATER_SCRIPT="skip")
        status, out, err = h.run_host(self.bundle, ["start", "wait=6000", "wait-idle", "quit"], env)
        self.assertIn("updater-script: found 2.0 notes=Correções <b>importantes</b>", err)
        self.assertNotIn("updater-script: checking", err)  # no window for a background check
        settings = configparser.ConfigParser()
        settings.read(path)
        self.assertEqual(settings[h.BUNDLE_ID]["SkippedVersion"], "2.0")
        self.assertGreater(int(settings[h.BUNDLE_ID]["LastCheckTime"]), time.time() - 30)
        # Checked just now: nothing is due while the host runs.
        status, out, err = h.run_host(self.bundle, ["start", "wait=3000", "quit"], env)
        self.assertNotIn("updater-script: found 2.0 notes=Correções <b>importantes</b>", err)
        # Due again, but the skipped version is not offered by a background check...
        with open(path) as f:
            text = f.read()
        with open(path, "w") as f:
            f.write(text.replace("LastCheckTime=", "LastCheckTime=1%s" % "" if False else "LastCheckTime="))
        write_settings(int(time.time()) - 86400 + 1)
        with open(path, "a") as f:
            f.write("SkippedVersion=2.0\n")
        status, out, err = h.run_host(self.bundle, ["start", "wait=4000", "wait-idle", "quit"], env)
        self.assertNotIn("updater-script: found 2.0 notes=Correções <b>importantes</b>", err)
        # ...while the user's own check still shows it.
        status, out, err = h.run_host(self.bundle, ["start", "check", "wait-idle", "quit"], env)
        self.assertIn("updater-script: found 2.0 notes=Correções <b>importantes</b>", err)
        self.assertEqual(self.space.launches(), [])


if __name__ == "__main__":
    unittest.main()
