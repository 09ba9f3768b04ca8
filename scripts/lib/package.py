"""Writes the release of a built product, the same bytes every time for the same
program:

    package.py --exe build/win32/nimbrel.exe --version 1.0.0.0 --readme docs/README.txt
               --copyright TEXT --objcopy i686-w64-mingw32-objcopy --epoch SECONDS --out dist

gives dist/nimbrel-VERSION-win32.zip (nimbrel.exe stripped, README.txt with CR LF
line ends, SHA256SUMS) and beside it dist/nimbrel-VERSION-win32.debug, the debug
information that the exe's debug link names. Every entry of the zip carries the
time EPOCH (the commit's), so the zip depends on nothing but its contents.

With --sign FILE.p12, or --sign-pkcs11 MODULE --cert FILE --key URI, the stripped
exe gets the maker's Authenticode signature (authenticode.py; the password or PIN
from NIMBREL_SIGN_PASSWORD) and is verified before anything is written.
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

from authenticode import Signer, SigningError

MAX_EXE_BYTES = 1024 * 1024


def stored(name, data, epoch):
    info = zipfile.ZipInfo(name, date_time=time.gmtime(max(epoch, 315532800))[:6])
    info.compress_type = zipfile.ZIP_DEFLATED
    info.create_system = 0  # MS-DOS: no Unix permissions to vary
    info.external_attr = 0x20  # archive
    return info, data


def signer_of(args, parser):
    """The Signer the options name, or None for an unsigned release."""
    password = os.environ.get("NIMBREL_SIGN_PASSWORD", "")
    if args.sign_pkcs11 and not (args.cert and args.key):
        parser.error("--sign-pkcs11 needs --cert FILE and --key URI")
    if (args.cert or args.key) and not args.sign_pkcs11:
        parser.error("--cert and --key go with --sign-pkcs11")
    if args.sign:
        return Signer.pkcs12(args.sign, password)
    if args.sign_pkcs11:
        return Signer.pkcs11(args.sign_pkcs11, args.cert, args.key, password)
    if args.ca or args.timestamp or args.info_url:
        parser.error("--ca, --timestamp and --info-url go with --sign or --sign-pkcs11")
    return None


class TooLarge(Exception):
    pass


def check_size(program, what):
    if len(program) > MAX_EXE_BYTES:
        raise TooLarge("the %s nimbrel.exe has %d bytes, more than %d" % (what, len(program), MAX_EXE_BYTES))


def main(argv=None):
    parser = argparse.ArgumentParser(description="Writes the release zip of a built nimbrel.exe.")
    for option in ("--exe", "--version", "--readme", "--copyright", "--objcopy", "--out"):
        parser.add_argument(option, required=True)
    parser.add_argument("--epoch", type=int, required=True)
    parser.add_argument("--name", default="Nimbrel", help="the program's name in the signature")
    signing = parser.add_mutually_exclusive_group()
    signing.add_argument("--sign", metavar="FILE.p12")
    signing.add_argument("--sign-pkcs11", metavar="MODULE")
    for option in ("--cert", "--key", "--ca", "--timestamp", "--info-url"):
        parser.add_argument(option)
    args = parser.parse_args(argv)

    base = "nimbrel-%s-win32" % args.version
    debug_path = os.path.join(args.out, base + ".debug")
    # objcopy stamps the PE header with the time of day unless told the time.
    environment = dict(os.environ, SOURCE_DATE_EPOCH=str(args.epoch))
    run = lambda *command: subprocess.run([args.objcopy] + list(command), check=True, env=environment)
    try:
        signer = signer_of(args, parser)
        with tempfile.TemporaryDirectory() as work:
            debug = os.path.join(work, base + ".debug")
            exe = os.path.join(work, "nimbrel.exe")
            run("--only-keep-debug", args.exe, debug)
            run("--strip-all", args.exe, exe)
            # The link names the file by its base name; gdb looks for it beside the exe.
            run("--add-gnu-debuglink=" + debug, exe)
            with open(exe, "rb") as stream:
                check_size(stream.read(), "stripped")
            if signer:
                signed = os.path.join(work, "signed.exe")
                signer.sign(exe, signed, args.name, args.epoch, args.timestamp, args.info_url)
                verified = signer.verify(signed, args.ca, timestamped=bool(args.timestamp))
                exe = signed
            with open(exe, "rb") as stream:
                program = stream.read()
            if signer:
                check_size(program, "signed")
                print("package: nimbrel.exe (%d bytes) signed by %s, verified against the root \"%s\" from %s"
                      % (len(program), verified.signer, verified.root, verified.source), file=sys.stderr)
                if verified.warning:
                    print("package: warning: %s" % verified.warning, file=sys.stderr)
            os.makedirs(args.out, exist_ok=True)
            shutil.copyfile(debug, debug_path)
    except (TooLarge, SigningError, OSError) as error:
        print("package: %s" % error, file=sys.stderr)
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
