"""The library's dynamic symbol table holds exactly the six functions the header declares."""
import re
import subprocess
import unittest

import updater_harness as h


class ExportsTest(unittest.TestCase):
    def test_exported_symbols_are_the_declared_functions(self):
        with open(h.HEADER, encoding="utf-8") as header:
            declared = set(re.findall(r"LV_UPDATER_EXPORT[^;(]*?\b(LVUpdater\w+)\s*\(", header.read()))
        table = subprocess.run(["nm", "-D", "--defined-only", h.LIBRARY],
                               check=True, capture_output=True, text=True).stdout
        exported = {line.split()[-1] for line in table.splitlines()
                    if line.split()[-2] in ("T", "W", "D", "B", "V", "u", "i")}
        self.assertEqual(exported, declared)
        self.assertEqual(declared, {"LVUpdaterStart", "LVUpdaterCanCheck", "LVUpdaterAutomatic",
                                    "LVUpdaterSetAutomatic", "LVUpdaterCheck", "LVUpdaterSetBusy"})


if __name__ == "__main__":
    unittest.main()
