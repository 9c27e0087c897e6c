"""The six exports as a host meets them: start rules and errors, thread rules, automatic checks."""
import configparser
import os
import time
import unittest

import updater_harness as h

FAILED = "Lumivane: não foi possível iniciar as atualizações (%d)."


class BridgeTest(unittest.TestCase):
    def setUp(self):
        self.space = h.Workspace()
        self.keys = h.Keys()
        self.addCleanup(self.space.close)
        self.env = h.host_environment(self.space.config, script="later")
        self.feed = "http://127.0.0.1:9/appcast.xml"

    def bundle(self, **info):
        return h.make_bundle(self.space.apps, "1.0", **info)

    def test_missing_keys_start_nothing_and_log_nothing(self):
        for info in ({}, {"feed_url": self.feed}, {"key": self.keys.public_base64}):
            with self.subTest(info=sorted(info)):
                bundle = self.bundle(**info)
                status, out, err = h.run_host(bundle, ["start", "can-check", "automatic", "quit"], self.env)
                self.assertEqual(out[:3], ["start=0", "can-check=0", "automatic=0"])
                self.assertEqual([line for line in err if "Lumivane" in line], [])
                h.shutil.rmtree(bundle)

    def test_start_errors_are_logged_with_their_code_and_can_be_retried(self):
        cases = [("not https", {"feed_url": "http://example.org/appcast.xml"}, 3),
                 ("unparsable", {"feed_url": "::"}, 2),
                 ("short key", {"key": h.base64.b64encode(b"k" * 31).decode()}, 4),
                 ("long key", {"key": h.base64.b64encode(b"k" * 33).decode()}, 4),
                 ("key not base64", {"key": "%%%%"}, 4),
                 ("parent not writable", {}, 6)]
        for name, info, code in cases:
            if name == "parent not writable" and os.geteuid() == 0:
                continue  # permissions do not stop the superuser
            with self.subTest(name):
                settings = {"feed_url": self.feed, "key": self.keys.public_base64}
                settings.update(info)
                bundle = self.bundle(**settings)
                if name == "parent not writable":
                    os.chmod(self.space.apps, 0o555)
                try:
                    status, out, err = h.run_host(bundle, ["start", "start", "can-check", "quit"], self.env)
                finally:
                    os.chmod(self.space.apps, 0o755)
                self.assertEqual(out[:3], ["start=0", "start=0", "can-check=0"])
                self.assertEqual([line for line in err if line.startswith("Lumivane")], [FAILED % code] * 2)
                h.shutil.rmtree(bundle)

    def test_thread_rules_and_repeated_start(self):
        bundle = self.bundle(feed_url=self.feed, key=self.keys.public_base64)
        status, out, err = h.run_host(bundle, ["start-from-thread", "can-check", "start", "start", "can-check",
                                               "check-from-thread", "wait=300", "quit"], self.env)
        self.assertEqual(status, 0)
        self.assertEqual(out[:5], ["start-from-thread=0", "can-check=0", "start=1", "start=1", "can-check=1"])
        # A check from a worker thread does nothing at all.
        self.assertNotIn("updater-script: checking", err)

    def test_check_under_way_refuses_a_second_one(self):
        bundle = self.bundle(feed_url=self.feed, key=self.keys.public_base64)
        status, out, err = h.run_host(bundle, ["start", "check", "can-check", "check", "wait-idle", "can-check",
                                               "quit"], self.env)
        self.assertIn("can-check=0", out)
        self.assertEqual(err.count("updater-script: checking"), 1)
        # Nothing listens on port 9: the user is told.
        self.assertIn("updater-script: error Não foi possível obter as informações de atualização.", err)
        self.assertEqual(out[-2], "can-check=1")

    def test_automatic_checking_is_kept_per_bundle_identifier(self):
        bundle = self.bundle(feed_url=self.feed, key=self.keys.public_base64)
        status, out, err = h.run_host(bundle, ["set-automatic=1", "automatic", "start", "automatic",
                                               "set-automatic=2", "automatic", "quit"], self.env)
        self.assertEqual(out[:6], ["set-automatic=1", "automatic=0", "start=1", "automatic=0",
                                   "set-automatic=2", "automatic=1"])
        settings = configparser.ConfigParser()
        settings.read(os.path.join(self.space.config, "lumivane", "updates.ini"))
        self.assertEqual(settings[h.BUNDLE_ID]["AutomaticChecks"], "true")
        status, out, err = h.run_host(bundle, ["start", "automatic", "set-automatic=0", "quit"], self.env)
        self.assertEqual(out[:2], ["start=1", "automatic=1"])
        status, out, err = h.run_host(bundle, ["start", "automatic", "quit"], self.env)
        self.assertEqual(out[:2], ["start=1", "automatic=0"])

    def test_info_plist_default_for_automatic_checks(self):
        bundle = self.bundle(feed_url=self.feed, key=self.keys.public_base64, SUEnableAutomaticChecks=True)
        status, out, err = h.run_host(bundle, ["start", "automatic", "quit"], self.env)
        self.assertEqual(out[:2], ["start=1", "automatic=1"])

    def test_busy_and_not_busy_before_start_change_nothing(self):
        bundle = self.bundle(feed_url=self.feed, key=self.keys.public_base64)
        status, out, err = h.run_host(bundle, ["busy=0", "busy=1", "busy-from-thread=1", "start", "can-check",
                                               "busy=0", "quit"], self.env)
        self.assertEqual(status, 0)
        self.assertEqual(out[3:5], ["start=1", "can-check=1"])


if __name__ == "__main__":
    unittest.main()
