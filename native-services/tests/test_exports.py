"""The library's dynamic symbol table holds exactly what the public header declares."""
import re
import subprocess
import unittest

import lvimage as lv


class ExportsTest(unittest.TestCase):
    def test_exported_symbols_are_the_declared_functions(self):
        with open(lv.HEADER_PATH, encoding="utf-8") as header:
            declared = set(re.findall(r"LV_EXPORT[^;(]*?\b(lv_\w+)\s*\(", header.read()))
        table = subprocess.run(["nm", "-D", "--defined-only", lv.LIBRARY_PATH],
                               check=True, capture_output=True, text=True).stdout
        exported = {line.split()[-1] for line in table.splitlines()
                    if line.split()[-2] in ("T", "W", "D", "B", "V", "u", "i")}
        self.assertEqual(exported, declared)
        # Every export of the library's table, no more and no less.
        self.assertEqual(declared, {
            "lv_read_text", "lv_free_text", "lv_read_qr", "lv_detect_regions",
            "lv_heic_available", "lv_write_heic", "lv_move_item", "lv_canonical_path",
            "lv_airdrop", "lv_register_file_service", "lv_login_status", "lv_login_set",
            "lv_login_settings", "lv_player_create", "lv_player_destroy", "lv_player_view",
            "lv_player_load", "lv_player_play", "lv_player_seek", "lv_player_seeking",
            "lv_player_volume", "lv_player_state", "lv_text_to_docx", "lv_rtfd_to_html",
            "lv_clipping_to_docx"})


if __name__ == "__main__":
    unittest.main()
