"""Checks that a program loads on the oldest systems it is for: Windows 98 SE and
Windows NT 4.0 SP6 with Internet Explorer 4.01.

    check_imports.py PROGRAM.exe ALLOW-LIST

The program must be PE32 for the GUI subsystem version 4.0, import nothing by
ordinal and nothing delay-loaded, and every function it imports must be on the
allow-list, whose lines name the DLL, the function, the oldest system of each
family that exports it and where that is documented. An entry newer than the
floor in either family is itself a failure: such a function is looked up at run
time instead. Prints one line per fault and exits 1 when there is any.
"""

import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pe_file import PeError, PeFile  # noqa: E402

# What the floor systems have: anything these name is there on both. Windows 98 SE
# comes with Internet Explorer 5.0; NT 4.0 SP6 is taken with Internet Explorer 4.01.
FLOOR_98 = {"95", "95OSR2", "98", "98SE", "IE3.0", "IE4.0", "IE4.01", "IE5.0"}
FLOOR_NT = {"NT3.1", "NT3.5", "NT3.51", "NT4.0", "NT4.0SP3", "NT4.0SP4", "NT4.0SP6", "IE3.0", "IE4.0", "IE4.01"}

_ENTRY = re.compile(r"^(\S+)\s+(\S+)\s+(\S+)\s+(\S+)\s+(\S.*)$")


def read_allow_list(path):
    """{(dll, function): (line number, floor-98, floor-NT, source)}, and the faults of the list."""
    allowed, faults = {}, []
    with open(path, encoding="utf-8") as stream:
        for number, line in enumerate(stream, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            match = _ENTRY.match(line)
            if not match:
                faults.append("%s:%d: not 'DLL FUNCTION OLDEST-98-FAMILY OLDEST-NT SOURCE'" % (path, number))
                continue
            dll, function, oldest_98, oldest_nt, source = match.groups()
            key = (dll.upper(), function)
            if key in allowed:
                faults.append("%s:%d: %s %s listed twice" % (path, number, dll, function))
            if oldest_98 not in FLOOR_98:
                faults.append("%s:%d: %s %s needs %s: not on Windows 98 SE" % (path, number, dll, function, oldest_98))
            if oldest_nt not in FLOOR_NT:
                faults.append("%s:%d: %s %s needs %s: not on NT 4.0 SP6 with IE 4.01" % (path, number, dll, function, oldest_nt))
            allowed[key] = (number, oldest_98, oldest_nt, source)
    return allowed, faults


def check(program, allow_list):
    """The faults found, one line each; an empty list when the program passes."""
    allowed, faults = read_allow_list(allow_list)
    try:
        pe = PeFile.read(program)
    except (OSError, PeError) as error:
        return faults + ["%s: cannot be read as a Windows program: %s" % (program, error)]
    if not pe.is_pe32 or pe.machine != 0x14C:
        faults.append("%s: not PE32 for the Intel 386 (machine %#x, magic %#x)" % (program, pe.machine, pe.magic))
    if pe.subsystem != 2:
        faults.append("%s: subsystem %d, not the Windows GUI (2)" % (program, pe.subsystem))
    if pe.subsystem_version != (4, 0):
        faults.append("%s: subsystem version %d.%d, not 4.0" % ((program,) + pe.subsystem_version))
    if pe.has_delay_imports:
        faults.append("%s: has delay-loaded imports" % program)
    allowed_dlls = {dll for dll, _ in allowed}
    for dll, function in pe.imports:
        if function.startswith("#"):
            faults.append("import by ordinal: %s %s" % (dll, function))
        elif dll.upper() not in allowed_dlls:
            faults.append("import from a DLL not on the list: %s %s" % (dll, function))
        elif (dll.upper(), function) not in allowed:
            faults.append("import not on the list: %s %s" % (dll, function))
    return faults


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    program, allow_list = argv[1], argv[2]
    faults = check(program, allow_list)
    for fault in faults:
        print("check_imports: %s" % fault)
    if faults:
        return 1
    imports = PeFile.read(program).imports
    print("check_imports: %s: %d functions from %d DLLs, all on the floor systems"
          % (program, len(imports), len({dll.upper() for dll, _ in imports})))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
