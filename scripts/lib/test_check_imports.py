"""The import check itself: a program with an import newer than the floor, an
allow-list that claims one, and a 64-bit program must each fail, naming why."""

import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from check_imports import check  # noqa: E402

ALLOW_LIST = os.path.join(HERE, "floor_imports.txt")

# GetTickCount64 came with Windows Vista.
PROGRAM = r"""
#include <windows.h>
int WINAPI WinMain(HINSTANCE a, HINSTANCE b, LPSTR c, int d) { return (int)GetTickCount64(); }
"""


class ImportCheck(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        source = os.path.join(cls.folder.name, "newer.c")
        with open(source, "w") as stream:
            stream.write(PROGRAM)
        cls.programs = {}
        for name, compiler in (("pe32", "i686-w64-mingw32-gcc-win32"), ("pe32+", "x86_64-w64-mingw32-gcc-win32")):
            cls.programs[name] = os.path.join(cls.folder.name, name + ".exe")
            subprocess.run([compiler, "-D_WIN32_WINNT=0x0600", "-mwindows", "-static", "-o", cls.programs[name], source],
                           check=True)

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def allow_list_with(self, line):
        path = os.path.join(self.folder.name, "allow-%d.txt" % abs(hash(line)))
        with open(ALLOW_LIST) as original, open(path, "w") as extended:
            extended.write(original.read() + line + "\n")
        return path

    def test_each_fault_is_named(self):
        cases = [
            ("pe32", ALLOW_LIST, "import not on the list: KERNEL32.dll GetTickCount64"),
            ("pe32", self.allow_list_with("KERNEL32.dll GetTickCount64 98 Vista PSDK"),
             "KERNEL32.dll GetTickCount64 needs Vista: not on NT 4.0 SP6 with IE 4.01"),
            ("pe32", self.allow_list_with("KERNEL32.dll GetTickCount64 ME NT3.1 PSDK"),
             "KERNEL32.dll GetTickCount64 needs ME: not on Windows 98 SE"),
            ("pe32+", ALLOW_LIST, "not PE32 for the Intel 386"),
        ]
        for program, allow_list, expected in cases:
            with self.subTest(expected=expected):
                faults = check(self.programs[program], allow_list)
                self.assertTrue(any(expected in fault for fault in faults), faults)


if __name__ == "__main__":
    unittest.main()
