"""Checks that the released program keeps its hardening:

    check_hardening.py RELEASED.exe UNSTRIPPED.exe OBJDUMP

The released (stripped) program asks for ASLR and DEP (DllCharacteristics
DYNAMIC_BASE 0x40 and NX_COMPAT 0x100) and keeps its .reloc section, without which
a loader cannot move it; the unstripped one, disassembled, calls __stack_chk_fail,
the stack protector's end. Loaders before Vista and XP SP2 ignore the bits. Prints
one line per fault and exits 1 when there is any.
"""

import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pe_file import PeError, PeFile  # noqa: E402

REQUIRED_BITS = {0x40: "DYNAMIC_BASE", 0x100: "NX_COMPAT"}


def faults_of(released, unstripped, objdump):
    try:
        pe = PeFile.read(released)
    except (OSError, PeError) as error:
        return ["%s: cannot be read as a Windows program: %s" % (released, error)], 0
    faults = ["%s: DllCharacteristics %#x lacks %s (%#x)" % (released, pe.dll_characteristics, name, bit)
              for bit, name in REQUIRED_BITS.items() if not pe.dll_characteristics & bit]
    if ".reloc" not in [section[0] for section in pe.sections]:
        faults.append("%s: no .reloc section" % released)
    listing = subprocess.run([objdump, "-d", unstripped], capture_output=True, text=True, check=True).stdout
    calls = len(re.findall(r"\bcall\b.*<_*stack_chk_fail>", listing))
    if calls == 0:
        faults.append("%s: no call of __stack_chk_fail: built without the stack protector" % unstripped)
    return faults, calls


def main(argv):
    if len(argv) != 4:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    faults, calls = faults_of(*argv[1:])
    for fault in faults:
        print("check_hardening: %s" % fault)
    if not faults:
        print("check_hardening: ASLR and DEP asked for, .reloc kept, %d calls of __stack_chk_fail" % calls)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
