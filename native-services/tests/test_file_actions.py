"""lv_move_item within and across volumes (/dev/shm is tmpfs, the build tree is on disk) and
lv_canonical_path, through the built library."""
import ctypes
import os
import socket
import stat
import tempfile
import unittest

import lvimage as lv

lv.lib.lv_move_item.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int32]
lv.lib.lv_move_item.restype = ctypes.c_int32
lv.lib.lv_canonical_path.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int32]
lv.lib.lv_canonical_path.restype = ctypes.c_int32


def move(source, destination, capacity=512):
    buffer = ctypes.create_string_buffer(b"untouched", max(capacity, 16))
    result = lv.lib.lv_move_item(source.encode(), destination.encode(), buffer, capacity)
    return result, buffer.value.decode("utf-8", "replace")


def write(path, data=b"data", mode=0o644, mtime=1_000_000_000):
    with open(path, "wb") as handle:
        handle.write(data)
    os.chmod(path, mode)
    os.utime(path, (mtime, mtime))


def tree(root):
    """Every item under root: relative path -> (kind, mode, mtime, content or link target)."""
    items = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            info = os.lstat(path)
            if stat.S_ISLNK(info.st_mode):
                value = ("link", os.readlink(path), int(info.st_mtime))
            elif stat.S_ISDIR(info.st_mode):
                value = ("dir", stat.S_IMODE(info.st_mode), int(info.st_mtime))
            elif not stat.S_ISREG(info.st_mode):
                value = ("other", stat.S_IFMT(info.st_mode))
            else:
                with open(path, "rb") as handle:
                    value = ("file", stat.S_IMODE(info.st_mode), int(info.st_mtime), handle.read())
            items[os.path.relpath(path, root)] = value
    return items


class MoveTest(unittest.TestCase):
    def setUp(self):
        self.disk = tempfile.mkdtemp(prefix="lv-move-", dir=os.path.dirname(lv.LIBRARY_PATH))
        self.memory = tempfile.mkdtemp(prefix="lv-move-", dir="/dev/shm")
        self.assertNotEqual(os.stat(self.disk).st_dev, os.stat(self.memory).st_dev)

    def tearDown(self):
        for root in (self.disk, self.memory):
            os.system(f"rm -rf '{root}'")

    def make_folder(self, root):
        folder = os.path.join(root, "Pasta ação")
        os.makedirs(os.path.join(folder, "sub", "deep"))
        write(os.path.join(folder, "a.txt"), b"alpha", 0o600, 1_100_000_000)
        write(os.path.join(folder, "sub", "run.sh"), b"#!/bin/sh\n", 0o755, 1_200_000_000)
        write(os.path.join(folder, "sub", "deep", "big.bin"), os.urandom(3 << 20), 0o640)
        os.symlink("../a.txt", os.path.join(folder, "sub", "link"))
        os.symlink("/nowhere/at/all", os.path.join(folder, "dangling"))
        os.chmod(os.path.join(folder, "sub"), 0o750)
        os.utime(os.path.join(folder, "sub"), (1_300_000_000, 1_300_000_000))
        return folder

    def test_moves_files_and_folders_within_and_across_volumes(self):
        for name, source_root, target_root in [("same volume", self.disk, self.disk),
                                               ("tmpfs to disk", self.memory, self.disk),
                                               ("disk to tmpfs", self.disk, self.memory)]:
            with self.subTest(name):
                folder = self.make_folder(source_root)
                before = tree(folder)
                destination = os.path.join(target_root, "movida " + name)
                self.assertEqual(move(folder, destination), (1, "untouched"))
                self.assertFalse(os.path.lexists(folder))
                self.assertEqual(tree(destination), before)
                single = os.path.join(source_root, "só.txt")
                write(single, b"one", 0o604, 1_234_567_890)
                target = os.path.join(target_root, "renamed " + name + ".txt")
                self.assertEqual(move(single, target)[0], 1)
                info = os.stat(target)
                self.assertEqual((stat.S_IMODE(info.st_mode), int(info.st_mtime)), (0o604, 1_234_567_890))

    def test_never_overwrites_and_says_why(self):
        for name, source_root in [("same volume", self.disk), ("across volumes", self.memory)]:
            with self.subTest(name):
                destination_folder = os.path.join(self.disk, "destino")
                os.makedirs(destination_folder, exist_ok=True)
                existing = os.path.join(destination_folder, "a.txt")
                write(existing, b"keep me")
                source = os.path.join(source_root, "a.txt")
                write(source, b"new")
                result, message = move(source, existing)
                self.assertEqual(result, 0)
                self.assertEqual(message, "Não foi possível mover “a.txt” porque já existe um item "
                                          "com o mesmo nome em “destino”.")
                self.assertEqual(lv.read(existing), b"keep me")
                self.assertEqual(lv.read(source), b"new")
                # A folder onto an existing folder is refused the same way.
                folder = self.make_folder(source_root)
                os.makedirs(os.path.join(destination_folder, "Pasta ação"), exist_ok=True)
                self.assertEqual(move(folder, os.path.join(destination_folder, "Pasta ação"))[0], 0)
                self.assertTrue(os.path.isfile(os.path.join(folder, "a.txt")))
                os.system(f"rm -rf '{folder}' '{destination_folder}'")

    def test_failed_copy_takes_back_what_it_wrote_and_keeps_the_source(self):
        folder = self.make_folder(self.memory)
        # A socket cannot be carried to another volume: the copy fails after writing part of the tree.
        listener = socket.socket(socket.AF_UNIX)
        listener.bind(os.path.join(folder, "sub", "zz.sock"))
        self.addCleanup(listener.close)
        before = tree(folder)
        destination = os.path.join(self.disk, "copia")
        result, message = move(folder, destination)
        self.assertEqual(result, 0)
        self.assertEqual(message, "Não foi possível concluir a operação.")
        self.assertFalse(os.path.lexists(destination))
        self.assertEqual(tree(folder), before)

    def test_messages_for_missing_items_and_buffer_rules(self):
        missing = os.path.join(self.disk, "sumiu.txt")
        self.assertEqual(move(missing, os.path.join(self.disk, "x.txt")),
                         (0, "Não foi possível mover “sumiu.txt” porque o item não existe."))
        source = os.path.join(self.disk, "a.txt")
        write(source)
        self.assertEqual(move(source, os.path.join(self.disk, "nada", "a.txt")),
                         (0, "Não foi possível mover “a.txt” porque a pasta “nada” não existe."))
        self.assertEqual(move(source, os.path.join(self.disk, "nada", "a.txt"), capacity=0), (0, "untouched"))
        buffer = ctypes.create_string_buffer(b"#" * 32, 32)
        self.assertEqual(lv.lib.lv_move_item(source.encode(), os.path.join(self.disk, "nada", "a.txt").encode(),
                                             buffer, 4), 0)
        self.assertEqual(buffer.raw[:5], "Não".encode()[:3] + b"\0#")  # cut byte-wise, inside "ã"

class CanonicalPathTest(unittest.TestCase):
    def test_cases(self):
        work = tempfile.mkdtemp(prefix="lv-canon-")
        self.addCleanup(os.system, f"rm -rf '{work}'")
        real = os.path.join(os.path.realpath(work), "alvo")
        os.makedirs(real)
        os.symlink(real, os.path.join(work, "atalho"))
        length = len(real.encode())
        for name, path, capacity, expected in [
                ("through a link", os.path.join(work, "atalho"), 4096, real),
                ("dots and separators", work + "//alvo/./../alvo/", 4096, real),
                ("exactly capacity - 1", real, length + 1, real),
                ("exactly capacity", real, length, None),
                ("capacity 0", real, 0, None),
                ("missing", os.path.join(work, "nada"), 4096, None)]:
            with self.subTest(name):
                buffer = ctypes.create_string_buffer(b"untouched", 4096)
                result = lv.lib.lv_canonical_path(path.encode(), buffer, capacity)
                self.assertEqual(result, 1 if expected else 0)
                self.assertEqual(buffer.value.decode(), expected or "untouched")


if __name__ == "__main__":
    unittest.main()
