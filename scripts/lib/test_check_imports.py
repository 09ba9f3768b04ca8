"""The import check itself: a program with an import newer than the floor, an
allow-list that claims one, and a 64-bit program must each fail, naming why."""

import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from check_imports import check, read_allow_list  # noqa: E402

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

        # A program that imports, from every DLL the list names, a function the list
        # does not name: each import must be checked, whichever DLL it comes from.
        cls.dlls = sorted({dll for dll, _ in read_allow_list(ALLOW_LIST)[0]})
        calls, libraries = [], []
        for dll in cls.dlls:
            function = cls.unlisted(dll)
            definition = os.path.join(cls.folder.name, function + ".def")
            with open(definition, "w") as stream:
                stream.write("LIBRARY %s\nEXPORTS\n%s@0\n" % (dll, function))
            libraries.append(os.path.join(cls.folder.name, "lib%s.a" % function))
            subprocess.run(["i686-w64-mingw32-dlltool", "-k", "-d", definition, "-l", libraries[-1]], check=True)
            calls.append(function)
        source = os.path.join(cls.folder.name, "unlisted.c")
        with open(source, "w") as stream:
            stream.write("#include <windows.h>\n")
            stream.writelines("__declspec(dllimport) void __stdcall %s(void);\n" % call for call in calls)
            stream.write("int WINAPI WinMain(HINSTANCE a, HINSTANCE b, LPSTR c, int d) {\n")
            stream.writelines("    %s();\n" % call for call in calls)
            stream.write("    return 0;\n}\n")
        cls.programs["unlisted"] = os.path.join(cls.folder.name, "unlisted.exe")
        subprocess.run(["i686-w64-mingw32-gcc-win32", "-mwindows", "-static", "-o", cls.programs["unlisted"], source]
                       + libraries, check=True)

    @staticmethod
    def unlisted(dll):
        return "Unlisted" + "".join(c for c in dll.split(".")[0].title() if c.isalnum())

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
        cases += [("unlisted", ALLOW_LIST, "import not on the list: %s %s" % (dll, self.unlisted(dll)))
                  for dll in self.dlls]
        for program, allow_list, expected in cases:
            with self.subTest(expected=expected):
                faults = check(self.programs[program], allow_list)
                self.assertTrue(any(expected in fault for fault in faults), faults)


if __name__ == "__main__":
    unittest.main()
