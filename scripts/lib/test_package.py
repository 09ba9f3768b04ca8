"""The release as a user downloads it: scripts/package run twice, once from the
product tree and once from a tree of its own elsewhere, must give the same bytes;
the zip holds the stripped PE32 program with its version and manifest, the
user's README.txt and the checksums of both. The program is signed with a throwaway
authority's certificate, through PKCS#12 and through a softhsm2 token."""

import hashlib
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
from check_imports import check  # noqa: E402
from pe_file import PeFile, version_strings  # noqa: E402
from throwaway_signer import SOFTHSM_MODULE, TOKEN_KEY, make  # noqa: E402

BASE = "nimbrel-1.0.0.0-win32"
SIGNER = os.path.join(ROOT, "build", "test-signer")


class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        make(SIGNER)
        signer = lambda name: os.path.join(SIGNER, name)
        with open(signer("password")) as stream:
            environment = dict(os.environ, NIMBREL_SIGN_PASSWORD=stream.read(), SOFTHSM2_CONF=signer("softhsm2.conf"))
        p12 = ["--sign", signer("signer.p12")]
        # Unsigned; through PKCS#12 twice, the second time in a tree of its own; through a token.
        cls.told = {}
        for name, options in (("plain", []), ("p12", p12),
                              ("p12-again", p12 + ["--build-dir", os.path.join(ROOT, "build", "package-check")]),
                              ("pkcs11", ["--sign-pkcs11", SOFTHSM_MODULE, "--cert", signer("signer.pem"),
                                          "--key", TOKEN_KEY, "--ca", signer("ca.pem")])):
            run = subprocess.run([os.path.join(ROOT, "scripts", "package"), "--out", cls.out(name)] + options,
                                 env=environment, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
            assert run.returncode == 0, run.stderr
            cls.told[name] = run.stderr
        cls.files = cls.unzipped("p12")
        cls.names = list(cls.files)

    @classmethod
    def out(cls, name):
        return os.path.join(cls.folder.name, name)

    @classmethod
    def unzipped(cls, name):
        with zipfile.ZipFile(os.path.join(cls.out(name), BASE + ".zip")) as archive:
            return {entry: archive.read(entry) for entry in archive.namelist()}

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def test_two_packagings_are_the_same_bytes(self):
        for name in (BASE + ".zip", BASE + ".debug"):
            with self.subTest(name=name):
                digests = []
                for out in ("p12", "p12-again"):
                    with open(os.path.join(self.out(out), name), "rb") as stream:
                        digests.append(hashlib.sha256(stream.read()).hexdigest())
                self.assertEqual(digests[0], digests[1])

    def test_the_zip_holds_the_program_the_readme_and_their_checksums(self):
        self.assertEqual(self.names, ["nimbrel.exe", "README.txt", "SHA256SUMS"])
        sums = "".join("%s  %s\n" % (hashlib.sha256(self.files[name]).hexdigest(), name)
                       for name in ("nimbrel.exe", "README.txt"))
        self.assertEqual(self.files["SHA256SUMS"].decode(), sums)
        readme = self.files["README.txt"].decode("ascii")
        self.assertNotIn("\n", readme.replace("\r\n", ""))  # CR LF throughout, for Notepad
        for needed in ("Nimbrel 1.0.0.0", "Windows 98 Second Edition", "administrator rights", "Kernel.log"):
            self.assertIn(needed, readme)

    def test_the_program_is_stripped_pe32_with_its_identity(self):
        exe = self.files["nimbrel.exe"]
        pe = PeFile(exe)
        self.assertLessEqual(len(exe), 1024 * 1024)
        self.assertTrue(pe.is_pe32)
        self.assertEqual(pe.symbol_count, 0)
        sections = [section[0] for section in pe.sections]
        self.assertFalse([name for name in sections if name.startswith(".debug")], sections)
        self.assertIn(".gnu_debuglink", sections)

        language, block = pe.resource(16, 1)
        tables, versions = version_strings(block)
        self.assertEqual(language, 1028)
        self.assertEqual(versions, {"file": (1, 0, 0, 0), "product": (1, 0, 0, 0)})
        self.assertEqual(tables["040404b0"], {
            "FileDescription": "ZOrix Online Flash Update Program",
            "FileVersion": "1.0.0.0",
            "InternalName": "nimbrel",
            "LegalCopyright": "Copyright (C) 2026 The Nimbrel developers",
            "OriginalFilename": "nimbrel.exe",
            "ProductName": "Nimbrel",
            "ProductVersion": "1.0.0.0",
        })

        manifest = pe.resource(24, 1)[1].decode("utf-8")
        for needed in ('name="Nimbrel.Nimbrel" version="1.0.0.0"', 'processorArchitecture="x86"',
                       'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"',
                       '<trustInfo xmlns="urn:schemas-microsoft-com:asm.v2">',
                       '<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>',
                       '<supportedOS Id="{e2011457-1546-43c5-a5fe-008deee3d3f0}"/>'):
            self.assertIn(needed, manifest)
        self.assertEqual(manifest.count('xmlns="urn:schemas-microsoft-com:asm.v2"'), 1)

        path = os.path.join(self.folder.name, "nimbrel.exe")
        with open(path, "wb") as stream:
            stream.write(exe)
        self.assertEqual(check(path, os.path.join(HERE, "floor_imports.txt")), [])

    def test_the_signatures_verify_and_cover_the_sections(self):
        # The digest leaves out the checksum and the certificate table, not a section.
        for name in ("p12", "pkcs11"):
            exe = self.unzipped(name)["nimbrel.exe"]
            at = PeFile(exe).sections[0][3] + 100
            for data, verifies in ((exe, True), (exe[:at] + bytes([exe[at] ^ 1]) + exe[at + 1:], False)):
                with self.subTest(name=name, verifies=verifies):
                    run = subprocess.run(["osslsigncode", "verify", "-CAfile", os.path.join(SIGNER, "ca.pem"),
                                          "-in", self.written(data)], capture_output=True)
                    self.assertEqual(run.returncode == 0, verifies)

    def test_the_maker_is_told_what_the_signature_was_verified_against(self):
        # signer.p12 carries its own root: only a warning says so. The token's root came with --ca.
        root = 'verified against the root "CN=Nimbrel test root" from '
        self.assertIn(root + os.path.join(SIGNER, "signer.p12") + " itself", self.told["p12"])
        self.assertIn("package: warning: the only root certificate", self.told["p12"])
        self.assertIn(root + "--ca " + os.path.join(SIGNER, "ca.pem"), self.told["pkcs11"])
        self.assertNotIn("warning", self.told["pkcs11"])

    def test_without_its_signature_the_program_is_the_unsigned_one(self):
        # But for the PE checksum and the zeros that pad the file to 8 bytes for the certificate table.
        plain = self.unzipped("plain")["nimbrel.exe"]
        removed = os.path.join(self.folder.name, "removed.exe")
        subprocess.run(["osslsigncode", "remove-signature", "-in", self.written(self.files["nimbrel.exe"]),
                        "-out", removed], check=True, capture_output=True)
        with open(removed, "rb") as stream:
            removed = stream.read()
        checksum = struct.unpack_from("<I", plain, 0x3C)[0] + 24 + 64
        blank = lambda data: data[:checksum] + bytes(4) + data[checksum + 4 : len(plain)]
        self.assertEqual(blank(removed), blank(plain))
        self.assertLess(len(removed) - len(plain), 8)
        self.assertFalse(removed[len(plain):].strip(b"\0"))

    def written(self, data):
        path = os.path.join(self.folder.name, "written.exe")
        with open(path, "wb") as stream:
            stream.write(data)
        return path

    def test_a_malformed_list_key_or_a_missing_root_stops_the_release_naming_it(self):
        key = "RWSyBduU5qrTB1/Fu3ERX7mtiwRHZFz2pZrMsezaVJ/996vXyTNOdApJ"
        bare = ["--build-dir", os.path.join(ROOT, "build", "win32"), "--sign", os.path.join(SIGNER, "bare.p12")]
        for option, environment, named in ((["--list-keys", "RWnotakey"], {}, "key 1 of 1 is 'RWnotakey'"),
                                           ([], {"NIMBREL_LIST_KEYS": key + ",RW"}, "key 2 of 2 is 'RW'"),
                                           (bare, {}, 'is issued by "CN=Nimbrel test root"')):
            with self.subTest(named=named), tempfile.TemporaryDirectory() as folder:
                run = subprocess.run([os.path.join(ROOT, "scripts", "package"), "--build-dir", os.path.join(folder, "tree"),
                                      "--out", os.path.join(folder, "out")] + option,
                                     env=dict(os.environ, **environment), capture_output=True, text=True)
                self.assertNotEqual(run.returncode, 0)
                self.assertIn(named, run.stderr)
                self.assertFalse(os.path.exists(os.path.join(folder, "out")))


if __name__ == "__main__":
    unittest.main()
