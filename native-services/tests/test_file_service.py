"""The file service end to end, inside a private session bus (run under dbus-run-session): a
real GApplication host, requests from another process with `gapplication action`, and the
failure notification seen by a mock notification daemon."""
import os
import queue
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse
import json

HOST = os.environ["LUMIVANE_DESKTOP_HOST"]
APP_ID = "com.lumivane.ServiceTest"
MESSAGE = "Selecione arquivos ou pastas no Finder."


class Host:
    def __init__(self, app_id, **extra_env):
        self.process = subprocess.Popen([HOST, "serve", app_id], stdout=subprocess.PIPE, text=True,
                                        env=dict(os.environ, **extra_env))
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.put(line.rstrip("\n"))

    def next_line(self, timeout=30):
        return self.lines.get(timeout=timeout)

    def no_line(self, wait=1.5):
        try:
            line = self.lines.get(timeout=wait)
        except queue.Empty:
            return True
        raise AssertionError(f"unexpected line {line!r}")

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=30)
        self.process.stdout.close()


def send(app_id, entries):
    subprocess.run(["gapplication", "action", app_id, "receberArquivos",
                    repr(entries) if entries else "@as []"],
                   check=True, timeout=30)


class FileServiceTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.log = tempfile.NamedTemporaryFile(prefix="lv-notify-", suffix=".log", delete=False).name
        cls.daemon = subprocess.Popen([sys.executable, "-m", "dbusmock", "--template", "notification_daemon",
                                       "-l", cls.log], stdout=subprocess.DEVNULL)
        for _ in range(200):
            names = subprocess.run(["gdbus", "call", "--session", "--dest", "org.freedesktop.DBus",
                                    "--object-path", "/org/freedesktop/DBus", "--method",
                                    "org.freedesktop.DBus.ListNames"], capture_output=True, text=True).stdout
            if "org.freedesktop.Notifications" in names:
                break
            time.sleep(0.05)
        cls.host = Host(APP_ID)
        assert cls.host.next_line() == "early 0"
        assert cls.host.next_line() == "registered 1 1 0"

    @classmethod
    def tearDownClass(cls):
        cls.host.stop()
        cls.daemon.terminate()
        cls.daemon.wait(timeout=30)
        os.unlink(cls.log)

    def notifications(self):
        with open(self.log, encoding="utf-8", errors="replace") as handle:
            return [line for line in handle if "Notify" in line]

    def test_paths_arrive_in_order_as_json(self):
        work = tempfile.mkdtemp(prefix="lv-service-")
        paths = [os.path.join(work, name) for name in ["b.txt", "ação/é.png", "a/c"]]
        uris = ["file://" + urllib.parse.quote(p) for p in paths]
        send(APP_ID, uris)
        line = self.host.next_line()
        self.assertTrue(line.startswith("request "), line)
        text = line[len("request "):]
        self.assertEqual(json.loads(text), paths)
        self.assertIn("ação\\/é.png", text)  # raw UTF-8, solidus escaped
        self.assertNotIn(" ", text.replace(work.replace("/", "\\/"), ""))
        # Other URIs are skipped while at least one file URI is there.
        send(APP_ID, ["https://example.invalid/x", uris[0]])
        self.assertEqual(json.loads(self.host.next_line()[len("request "):]), paths[:1])
        # Only plain absolute paths: the older file-name list.
        send(APP_ID, ["relative/x", paths[2], paths[0]])
        self.assertEqual(json.loads(self.host.next_line()[len("request "):]), [paths[2], paths[0]])

    def test_no_usable_paths_shows_the_message(self):
        before = len(self.notifications())
        for entries in [["https://example.invalid/a", "mailto:x@y"], [], ["relative/only"]]:
            send(APP_ID, entries)
        for _ in range(200):
            if len(self.notifications()) >= before + 3:
                break
            time.sleep(0.05)
        shown = self.notifications()[before:]
        self.assertEqual(len(shown), 3, shown)
        for line in shown:
            self.assertIn(MESSAGE, line)
        self.host.no_line()

    def test_second_registration_replaces_the_first(self):
        other = Host(APP_ID + "Two", HOST_SECOND_CALLBACK="1")
        try:
            self.assertEqual(other.next_line(), "early 0")
            self.assertEqual(other.next_line(), "registered 1 1 0")
            send(APP_ID + "Two", ["file:///tmp/x"])
            self.assertEqual(other.next_line(), 'second ["\\/tmp\\/x"]')
        finally:
            other.stop()


if __name__ == "__main__":
    unittest.main()
