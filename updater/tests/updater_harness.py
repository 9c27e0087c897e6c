"""Bundles, signed archives and a loopback appcast server made at test time."""
import base64
import contextlib
import functools
import hashlib
import http.server
import io
import os
import plistlib
import shutil
import subprocess
import tarfile
import tempfile
import threading
import time
import zipfile

import nacl.signing

LIBRARY = os.environ["LUMIVANE_UPDATER_LIBRARY"]
TEST_HOST = os.environ["LUMIVANE_UPDATER_TEST_HOST"]
HEADER = os.environ.get("LUMIVANE_UPDATER_HEADER", "")
BUNDLE_ID = "org.lumivane.TestHost"
SPARKLE = "http://www.andymatuschak.org/xml-namespaces/sparkle"


class Keys:
    def __init__(self):
        self.signing = nacl.signing.SigningKey.generate()
        self.public_base64 = base64.b64encode(bytes(self.signing.verify_key)).decode()

    def sign(self, data):
        return base64.b64encode(self.signing.sign(data).signature).decode()


def info_plist(version, feed_url=None, key=None, **extra):
    info = {"CFBundleIdentifier": BUNDLE_ID, "CFBundleExecutable": "host", "CFBundleName": "App",
            "CFBundleVersion": version, "CFBundleShortVersionString": version}
    if feed_url is not None:
        info["SUFeedURL"] = feed_url
    if key is not None:
        info["SUPublicEDKey"] = key
    info.update(extra)
    return plistlib.dumps(info)


def make_bundle(folder, version, feed_url=None, key=None, **extra):
    """folder/App.app with a copy of the test host and its Info.plist."""
    bundle = os.path.join(folder, "App.app")
    macos = os.path.join(bundle, "Contents", "MacOS")
    os.makedirs(macos)
    shutil.copy2(TEST_HOST, os.path.join(macos, "host"))
    with open(os.path.join(bundle, "Contents", "Info.plist"), "wb") as out:
        out.write(info_plist(version, feed_url, key, **extra))
    with open(os.path.join(bundle, "Contents", "Resources.txt"), "w") as out:
        out.write("resources of version %s\n" % version)
    return bundle


def update_archive(kind, version, extra_entries=()):
    """The bytes of an archive holding App.app at `version`; extra_entries are (name, bytes)."""
    with open(TEST_HOST, "rb") as source:
        host = source.read()
    files = [("App.app/Contents/MacOS/host", host, 0o755),
             ("App.app/Contents/Info.plist", info_plist(version), 0o644),
             ("App.app/Contents/Resources.txt", ("resources of version %s\n" % version).encode(), 0o644)]
    files += [(name, data, 0o644) for name, data in extra_entries]
    out = io.BytesIO()
    if kind == "zip":
        with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as archive:
            for name, data, mode in files:
                entry = zipfile.ZipInfo(name)
                entry.external_attr = (0o100000 | mode) << 16
                archive.writestr(entry, data)
    else:
        with tarfile.open(fileobj=out, mode="w:" + {"tar.gz": "gz", "tar.xz": "xz"}[kind]) as archive:
            for name, data, mode in files:
                entry = tarfile.TarInfo(name)
                entry.size, entry.mode = len(data), mode
                archive.addfile(entry, io.BytesIO(data))
    return out.getvalue()


def appcast(items):
    """items: dicts with version, url, length, signature (None to leave out), notes."""
    parts = []
    for item in items:
        signature = "" if item.get("signature") is None else ' sparkle:edSignature="%s"' % item["signature"]
        parts.append(
            "<item><title>Versão %(version)s</title><sparkle:version>%(version)s</sparkle:version>"
            "<sparkle:shortVersionString>%(version)s</sparkle:shortVersionString>"
            "<description><![CDATA[%(notes)s]]></description>"
            % {"version": item["version"], "notes": item.get("notes", "Notas")}
            + '<enclosure url="%s" length="%d" type="application/octet-stream"%s/></item>'
            % (item["url"], item["length"], signature))
    return ('<?xml version="1.0" encoding="utf-8"?><rss version="2.0" xmlns:sparkle="%s"><channel>'
            "<title>App</title>%s</channel></rss>" % (SPARKLE, "".join(parts))).encode()


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


@contextlib.contextmanager
def serve(folder):
    """An HTTP server on the loopback address serving `folder`; yields its base URL."""
    handler = functools.partial(QuietHandler, directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield "http://127.0.0.1:%d" % server.server_address[1]
    finally:
        server.shutdown()
        server.server_close()


def tree_digest(path):
    """Every entry below `path` with its mode and content hash or link target."""
    digest = {}
    for root, dirs, files in os.walk(path):
        for name in dirs + files:
            full = os.path.join(root, name)
            info = os.lstat(full)
            relative = os.path.relpath(full, path)
            if os.path.islink(full):
                digest[relative] = ("link", os.readlink(full))
            elif os.path.isfile(full):
                with open(full, "rb") as f:
                    digest[relative] = (info.st_mode, hashlib.sha256(f.read()).hexdigest())
            else:
                digest[relative] = (info.st_mode, None)
    return digest


def host_environment(config_home, script="install", **more):
    env = dict(os.environ)
    env.update({"XDG_CONFIG_HOME": config_home, "LUMIVANE_UPDATER_LIBRARY": LIBRARY})
    if script is not None:
        env["LUMIVANE_UPDATER_SCRIPT"] = script
    else:
        env.pop("LUMIVANE_UPDATER_SCRIPT", None)
    env.update(more)
    return env


def run_host(bundle, steps, env, timeout=120):
    """Runs the bundle's host with `steps`; returns (status, stdout lines, stderr lines)."""
    result = subprocess.run([os.path.join(bundle, "Contents", "MacOS", "host")] + list(steps),
                            env=env, capture_output=True, text=True, timeout=timeout)
    return result.returncode, result.stdout.splitlines(), result.stderr.splitlines()


def wait_for(predicate, timeout=60):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.1)
    return False


class Workspace:
    """A temporary folder with a bundle folder, a config home and a served folder."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="lumivane-updater-")
        self.apps = os.path.join(self.root, "Applications")
        self.config = os.path.join(self.root, "config")
        self.served = os.path.join(self.root, "served")
        self.launch_log = os.path.join(self.root, "launches.txt")
        for folder in (self.apps, self.config, self.served):
            os.makedirs(folder)

    def write(self, name, data):
        with open(os.path.join(self.served, name), "wb") as out:
            out.write(data)

    def launches(self):
        if not os.path.exists(self.launch_log):
            return []
        with open(self.launch_log) as log:
            return log.read().splitlines()

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)
