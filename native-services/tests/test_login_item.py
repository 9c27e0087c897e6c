"""The login item, as seen by a host started from bundles made here: X.app/Contents/MacOS/host
with an XML or a binary Info.plist, an upper-case .APP, and a plain executable."""
import os
import plistlib
import shutil
import subprocess
import tempfile
import unittest

HOST = os.environ["LUMIVANE_DESKTOP_HOST"]
BUNDLE_MESSAGE = "Use o Lumivane instalado em Aplicativos para configurar o início automático."


def make_bundle(root, folder_name, identifier, binary=False):
    macos = os.path.join(root, folder_name, "Contents", "MacOS")
    os.makedirs(macos)
    shutil.copy(HOST, os.path.join(macos, "host"))
    info = os.path.join(root, folder_name, "Contents", "Info.plist")
    with open(info, "wb") as handle:
        plistlib.dump({"CFBundleIdentifier": identifier, "CFBundleName": "Lumivane"}, handle)
    if binary:
        subprocess.run(["plistutil", "-i", info, "-o", info + ".bin", "-f", "bin"], check=True,
                       stdout=subprocess.DEVNULL)
        os.replace(info + ".bin", info)
        with open(info, "rb") as handle:
            assert handle.read(6) == b"bplist"
    return os.path.join(macos, "host")


class LoginItemTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="lv-login-")
        self.addCleanup(shutil.rmtree, self.work, True)
        self.config = os.path.join(self.work, "config dir")
        self.env = dict(os.environ, XDG_CONFIG_HOME=self.config, HOME=self.work)

    def run_host(self, program, *args):
        return subprocess.run([program, *args], env=self.env, check=True, capture_output=True,
                              text=True, timeout=60).stdout.split("\n")

    def status(self, program):
        return int(self.run_host(program, "status")[0])

    def set(self, program, enable, capacity=512):
        out = self.run_host(program, "set", str(enable), str(capacity))
        return int(out[0]), out[1]

    def entry(self, identifier):
        return os.path.join(self.config, "autostart", identifier + ".desktop")

    def test_register_status_and_unregister_in_each_kind_of_bundle(self):
        for folder, binary in [("Lumivane.app", False), ("Lumi $vane \"x\".app", True), ("Caps.APP", False)]:
            with self.subTest(folder):
                identifier = "com.lumivane.t" + str(abs(hash(folder)))
                host = make_bundle(self.work, folder, identifier, binary)
                self.assertEqual(self.status(host), 0)
                self.assertEqual(self.set(host, 0), (0, "O início automático de “Lumivane” não está ativado."))
                self.assertEqual(self.set(host, 1)[0], 1)
                self.assertEqual(self.status(host), 1)
                self.assertEqual(self.set(host, 1)[0], 1)  # registering again keeps it on
                # The session runs the entry's Exec: parse it as the session does (GLib) and run it.
                import gi
                gi.require_version("Gio", "2.0")
                from gi.repository import Gio
                app = Gio.DesktopAppInfo.new_from_filename(self.entry(identifier))
                self.assertEqual(app.get_commandline().startswith('"'), True)
                ok, argv = __import__("gi.repository.GLib", fromlist=["GLib"]).shell_parse_argv(app.get_commandline())
                self.assertEqual(argv, [os.path.realpath(host)])
                self.assertEqual(self.set(host, 0)[0], 1)
                self.assertFalse(os.path.exists(self.entry(identifier)))
                self.assertEqual(self.status(host), 0)

    def test_switched_off_and_missing_program(self):
        identifier = "com.lumivane.off"
        host = make_bundle(self.work, "Off.app", identifier)
        self.assertEqual(self.set(host, 1)[0], 1)
        with open(self.entry(identifier), encoding="utf-8") as handle:
            original = handle.read()
        for switch in ["Hidden=true\n", "X-GNOME-Autostart-enabled=false\n"]:
            with self.subTest(switch):
                with open(self.entry(identifier), "w", encoding="utf-8") as handle:
                    handle.write(original.replace("X-GNOME-Autostart-enabled=true\n", "") + switch)
                self.assertEqual(self.status(host), 2)
                result, message = self.set(host, 1)
                self.assertEqual(result, 0)
                self.assertIn("foi desativado nas configurações da sessão", message)
                self.assertIn(switch.strip(), open(self.entry(identifier), encoding="utf-8").read())
        with open(self.entry(identifier), "w", encoding="utf-8") as handle:
            handle.write(original.replace(os.path.realpath(host), "/gone/Lumivane.app/Contents/MacOS/host"))
        self.assertEqual(self.status(host), 3)
        self.assertEqual(self.set(host, 1)[0], 1)  # registering again mends it
        self.assertEqual(self.status(host), 1)

    def test_refusals_outside_a_bundle_and_in_an_unwritable_folder(self):
        self.assertEqual(self.status(HOST), -1)
        self.assertEqual(self.set(HOST, 1), (0, BUNDLE_MESSAGE))
        self.assertEqual(self.set(HOST, 1, capacity=0)[1], "#" * 511)
        no_identifier = make_bundle(self.work, "NoId.app", "")
        self.assertEqual(self.status(no_identifier), -1)
        not_app = make_bundle(self.work, "Lumivane.bundle", "com.lumivane.notapp")
        self.assertEqual(self.status(not_app), -1)
        # A file where the autostart folder should be.
        host = make_bundle(self.work, "Blocked.app", "com.lumivane.blocked")
        os.makedirs(self.config)
        open(os.path.join(self.config, "autostart"), "w").close()
        result, message = self.set(host, 1)
        self.assertEqual(result, 0)
        self.assertTrue(message.startswith("Não foi possível salvar “com.lumivane.blocked.desktop”"), message)
        self.assertEqual(self.set(host, 1, capacity=0), (0, "#" * 511))

    def test_settings_open_without_waiting(self):
        tools = os.path.join(self.work, "bin")
        os.makedirs(tools)
        marker = os.path.join(self.work, "opened")
        editor = os.path.join(tools, "gnome-session-properties")
        with open(editor, "w") as handle:
            handle.write(f"#!/bin/sh\necho $$ > '{marker}.tmp'; mv '{marker}.tmp' '{marker}'\n"
                         "exec sleep 30 </dev/null >/dev/null 2>&1\n")
        os.chmod(editor, 0o755)
        self.env["PATH"] = tools + ":" + self.env["PATH"]
        started = subprocess.run([HOST, "settings"], env=self.env, capture_output=True, text=True, timeout=20)
        self.assertEqual(started.stdout, "returned\n")
        for _ in range(100):
            if os.path.exists(marker):
                break
            __import__("time").sleep(0.05)
        self.assertTrue(os.path.exists(marker))
        with open(marker) as handle:
            os.kill(int(handle.read()), 15)


if __name__ == "__main__":
    unittest.main()
