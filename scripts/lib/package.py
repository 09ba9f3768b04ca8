"""Writes the release of a built product, the same bytes every time for the same
program:

    package.py --exe build/win32/nimbrel.exe --version 1.0.0.0 --readme docs/README.txt
               --copyright TEXT --objcopy i686-w64-mingw32-objcopy --epoch SECONDS --out dist

gives dist/nimbrel-VERSION-win32.zip (nimbrel.exe stripped, README.txt with CR LF
line ends, SHA256SUMS) and beside it dist/nimbrel-VERSION-win32.debug, the debug
information that the exe's debug link names. Every entry of the zip carries the
time EPOCH (the commit's), so the zip depends on nothing but its contents.
"""

import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

MAX_EXE_BYTES = 1024 * 1024


def stored(name, data, epoch):
    info = zipfile.ZipInfo(name, date_time=time.gmtime(max(epoch, 315532800))[:6])
    info.compress_type = zipfile.ZIP_DEFLATED
    info.create_system = 0  # MS-DOS: no Unix permissions to vary
    info.external_attr = 0x20  # archive
    return info, data


def main(argv=None):
    parser = argparse.ArgumentParser(description="Writes the release zip of a built nimbrel.exe.")
    for option in ("--exe", "--version", "--readme", "--copyright", "--objcopy", "--out"):
        parser.add_argument(option, required=True)
    parser.add_argument("--epoch", type=int, required=True)
    args = parser.parse_args(argv)

    base = "nimbrel-%s-win32" % args.version
    os.makedirs(args.out, exist_ok=True)
    debug_path = os.path.join(args.out, base + ".debug")
    # objcopy stamps the PE header with the time of day unless told the time.
    environment = dict(os.environ, SOURCE_DATE_EPOCH=str(args.epoch))
    run = lambda *command: subprocess.run([args.objcopy] + list(command), check=True, env=environment)
    with tempfile.TemporaryDirectory() as work:
        debug = os.path.join(work, base + ".debug")
        exe = os.path.join(work, "nimbrel.exe")
        run("--only-keep-debug", args.exe, debug)
        run("--strip-all", args.exe, exe)
        # The link names the file by its base name; gdb looks for it beside the exe.
        run("--add-gnu-debuglink=" + debug, exe)
        with open(exe, "rb") as stream:
            program = stream.read()
        shutil.copyfile(debug, debug_path)
    if len(program) > MAX_EXE_BYTES:
        print("package: the stripped nimbrel.exe has %d bytes, more than %d" % (len(program), MAX_EXE_BYTES),
              file=sys.stderr)
        return 1

    with open(args.readme, encoding="utf-8") as stream:
        readme = stream.read().replace("@VERSION@", args.version).replace("@COPYRIGHT@", args.copyright)
    readme = readme.replace("\r\n", "\n").replace("\n", "\r\n").encode("ascii")
    files = [("nimbrel.exe", program), ("README.txt", readme)]
    sums = "".join("%s  %s\n" % (hashlib.sha256(data).hexdigest(), name) for name, data in files)
    files.append(("SHA256SUMS", sums.encode("ascii")))

    zip_path = os.path.join(args.out, base + ".zip")
    with zipfile.ZipFile(zip_path + ".part", "w", compresslevel=9) as archive:
        for name, data in files:
            archive.writestr(*stored(name, data, args.epoch))
    os.replace(zip_path + ".part", zip_path)
    print(zip_path)
    print(debug_path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
