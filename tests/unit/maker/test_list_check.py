"""nimbrel-list check and publish, as a maker runs them: tables of the smallest list that
shows each finding (its id, the exit status) and of the folders publish refuses; the sample
lists as the list server fills them in, against the whole road's rows, and as publish and
Debian's nginx (tests/peers/nginx) serve them to check --server.

    /usr/bin/python3 test_list_check.py TOOL
"""

import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "peers", "http"))
import http_server  # noqa: E402  the list peer's own filling-in of {sha256:PATH} and {size:PATH}

TOOL = None
DIGEST = "ab" * 32
GOOD = f'<Firmware Version="1.10" Release="2005/03/01" Size="100" URL="fw/a.exe" SHA256="{DIGEST}"/>'
SITE = "<Ftp><Site>ftp.example.com</Site></Ftp>"


def listing(firmware=GOOD, ftp=SITE, project='Name="XR" Status="0"', after=""):
    return f"<OnlineUpdate><Project {project}>{firmware}{ftp}</Project>{after}</OnlineUpdate>".encode("latin-1")


def utf16(text):
    return b"\xff\xfe" + text.encode("utf-16-le")


class Maker:
    """A minisign key pair of a maker, made for the run, and its signatures."""

    def __init__(self, folder):
        self.folder = folder
        subprocess.run(["minisign", "-G", "-W", "-p", f"{folder}/m.pub", "-s", f"{folder}/m.key"],
                       check=True, capture_output=True)
        with open(f"{folder}/m.pub") as pub:
            self.key = pub.read().splitlines()[1]

    def sign(self, path, comment):
        subprocess.run(["minisign", "-S", "-s", f"{self.folder}/m.key", "-t", comment, "-m", path],
                       check=True, capture_output=True)


NOW = 1800000000
SIGNED = "model:XR\tissued:1790000000\texpires:1900000000"

# id (a finding the list must give, or "" for none at all), the list, arguments after
# LIST, how it is signed (None: not), the exit status.
CASES = [
    ("", listing(), [], None, 0),
    ("", listing(), ["--revision", "1.02"], SIGNED, 0),
    # The document as a whole.
    ("parse-error", b"<OnlineUpdate><Project>", [], None, 2),
    ("list-empty", b"", [], None, 2),
    ("list-empty", b"\xff\xfe", [], None, 2),
    ("no-online-update", b"<Update/>", [], None, 2),
    ("no-project", b"<OnlineUpdate/>", [], None, 2),
    ("text-cut-short", b"<OnlineUpdate>\0" + b" " * 100, [], None, 2),
    ("list-too-large", listing() + b" " * (1 << 20), [], None, 2),
    ("characters-lacking", utf16(listing().decode().replace("2005/03/01", "2005\u4e2d")), [], None, 1),
    ("", utf16(listing().decode().replace("2005/03/01", "2005\u4e2d")), ["--codepage", "936"], None, 0),
    ("non-ascii", listing().replace(b"2005/03/01", b"2005 \xc3\xa9"), [], None, 1),
    # Project and its status.
    ("status-busy", listing(project='Name="XR" Status="-2"'), [], None, 1),
    ("status-no-firmware", listing(project='Name="XR" Status="-1"'), [], None, 1),
    ("status-other", listing(project='Name="XR" Status="3"'), [], None, 2),
    ("unquoted-attribute", listing(project='Name="XR" Status=0'), [], None, 2),
    ("no-firmware", listing(firmware=""), [], None, 2),
    ("releases-beyond-slots",
     listing("".join(GOOD.replace("1.10", f"1.{i}").replace("a.exe", f"{i}.exe") for i in range(31))), [], None, 2),
    # The sites.
    ("ftp-before-releases", listing(firmware=SITE + GOOD, ftp=""), [], None, 2),
    ("ftp-outside-project", listing(ftp="", after=SITE), [], None, 2),
    ("no-site", listing(ftp=""), [], None, 2),
    ("no-site", listing(ftp="<Ftp/>"), [], None, 2),
    ("many-sites", listing(ftp="<Ftp><Site>a.example.com</Site><Site>b.example.com</Site></Ftp>"), [], None, 1),
    ("sites-beyond-slots", listing(ftp="<Ftp>" + "<Site>a.example.com</Site>" * 11 + "</Ftp>"), [], None, 1),
    ("site-unusable", listing(ftp="<Ftp><Site>gopher://a.example.com</Site></Ftp>"), [], None, 2),
    # A release's attributes.
    ("unquoted-attribute", listing(GOOD.replace('"1.10"', "1.10")), [], None, 2),
    ("version-unreadable", listing(GOOD.replace('"1.10"', '"1.1\t0"')), [], None, 1),
    ("version-too-long", listing(GOOD.replace('"1.10"', '"1.10.2"')), [], None, 1),
    ("version-bar", listing(GOOD.replace('"1.10"', '"1|10"')), [], None, 1),
    ("version-repeated", listing(GOOD + GOOD.replace("a.exe", "b.exe").replace('"1.10"', '"1.010"')), [], None, 1),
    ("url-missing", listing(GOOD.replace("fw/a.exe", "")), [], None, 2),
    ("program-by-hand", listing(GOOD.replace("a.exe", "a.Exe")), [], None, 1),
    ("program-in-folder-name", listing(GOOD.replace("fw/a.exe", "exe/a.bin")), [], None, 1),
    ("sha256-missing", listing(GOOD.replace(f' SHA256="{DIGEST}"', "")), [], None, 1),
    ("sha256-missing", listing(GOOD.replace(f' SHA256="{DIGEST}"', "")), [], SIGNED, 2),
    ("sha256-malformed", listing(GOOD.replace(DIGEST, DIGEST + "0")), [], None, 2),
    ("size-not-bytes", listing(GOOD.replace('"100"', '"100 KB"')), [], None, 1),
    ("size-over-cap", listing(GOOD.replace('"100"', '"67108865"')), [], SIGNED, 2),
    # The drive and the signature.
    ("drive-not-maker", listing(), ["--drive", "OTHER   XR              "], None, 2),
    ("signature-missing", listing(), [], "", 2),
    ("signature-not-verified", listing(), [], SIGNED + "\tnote:x", 2),
    ("signature-other-model", listing(), [], SIGNED.replace("XR", "XR-2"), 2),
    ("signature-expired", listing(), [], SIGNED.replace("1900000000", "1799999999"), 2),
    ("signature-expires-soon", listing(), [], SIGNED.replace("1900000000", str(NOW + 86400)), 1),
    ("signature-issued-future", listing(), [], SIGNED.replace("1790000000", str(NOW + 1)), 1),
    ("signature-too-large", listing(), [], "x" * 5000, 2),
]


# A folder of lists (file name: its bytes, None for a minisign signature of the list
# before it), what publish answers, and an id its output names ("" for none).
PUBLISH_CASES = [
    ({"XR.xml": b"<OnlineUpdate><Project>"}, 2, "parse-error"),
    ({"XR#1.xml": listing()}, 2, "model-name-refused"),
    ({"A&B.xml": listing()}, 2, "model-name-refused"),
    ({"100%.xml": listing()}, 2, "model-name-refused"),
    ({"ABCDEFGHIJKLMNOPQ.xml": listing()}, 2, "model-name-refused"),
    ({"DVD+RW X.xml": listing(), "DVD RW X.xml": listing()}, 2, "models-collide"),
    ({"XR.xml": listing(), "XR.xml.minisig": None}, 2, "signature-without-key"),
    ({"XR.xml.minisig": b""}, 2, "signature-without-list"),
    # Handled: "+", "/" (as %2F), "?" and a regular expression's own characters.
    ({"DVD+R%2FRW X?(1).xml": listing()}, 0,
     r'"~^DVD(\+|%2B)R/RW(%20|\+)X\?\(1\)(%20|\+)*$" "DVD_2BR_2FRW_20X_3F_281_29";'),
]


def run(args, command="check"):
    done = subprocess.run([TOOL, command, *args], capture_output=True)
    return done.returncode, done.stdout.decode("latin-1"), done.stderr.decode("latin-1")


class Check(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="nimbrel-list-")
        cls.maker = Maker(cls.folder)

    def test_every_finding(self):
        for number, (finding, body, args, signed, status) in enumerate(CASES):
            with self.subTest(finding=finding, case=number):
                path = f"{self.folder}/{number}.xml"
                with open(path, "wb") as file:
                    file.write(body)
                keys = []
                if signed is not None:
                    keys = ["--key", self.maker.key, "--now", str(NOW)]
                    if signed.startswith("x"):  # a signature file over the cap
                        with open(path + ".minisig", "w") as file:
                            file.write(signed)
                    elif signed:
                        # The list as signed; the unverified row changes a byte after signing.
                        self.maker.sign(path, signed.replace("\tnote:x", ""))
                        if "note:x" in signed:
                            with open(path, "ab") as file:
                                file.write(b" ")
                drive = [] if "--drive" in args else ["--model", "XR"]
                code, out, err = run([path, *drive, *keys, *args, "--json"])
                self.assertEqual(code, status, out + err)
                ids = [f["id"] for f in json.loads(out)["findings"]]
                if finding:
                    self.assertIn(finding, ids)
                else:
                    self.assertEqual(ids, [])

    def test_usage_and_input_faults(self):
        path = f"{self.folder}/usage.xml"
        with open(path, "wb") as file:
            file.write(listing())
        for args, status in [([], 64), (["--model", "XR"], 64), ([path], 64), ([path, "--drive", "short"], 64),
                             ([path, "--model", "XR", "--codepage", "65001"], 64),
                             ([path, "--model", "XR", "--key", "RWnot-a-key"], 65),
                             ([f"{self.folder}/missing.xml", "--model", "XR"], 66)]:
            with self.subTest(args=args):
                self.assertEqual(run(args)[0], status)
        self.assertEqual(subprocess.run([TOOL], capture_output=True).returncode, 64)

    def test_sample_lists_as_the_whole_road_reads_them(self):
        # The road's release files, as the tests serve them: the flasher under each name.
        root = f"{self.folder}/root"
        lists = os.path.join(ROOT, "tests", "peers", "http", "lists")
        with open(os.path.join(lists, "DVD-RW XR-1680.xml"), "rb") as file:
            body = file.read()
        for url in re.findall(rb'URL="([^"]*)"', body):
            name = os.path.join(root, url.decode())
            os.makedirs(os.path.dirname(name), exist_ok=True)
            if b"missing" not in url:
                with open(name, "wb") as file:
                    file.write(b"MZ flasher")
        path = f"{self.folder}/DVD-RW XR-1680.xml"
        with open(path, "wb") as file:
            file.write(http_server.file_digests(body, root))
        self.maker.sign(path, "model:DVD-RW XR-1680\tissued:1790000000\texpires:1900000000")
        code, out, err = run([path, "--model", "DVD-RW XR-1680", "--revision", "1.02", "--json",
                              "--key", self.maker.key, "--now", str(NOW)])
        rows = json.loads(out)["rows"]
        # What the whole road and the demo see of the signed program: the newest and 1.01
        # started, 1.00 (another file's digest) started only if its file matched, 0.99 (a
        # digit too many) deleted, those without a digest refused before anything is fetched.
        started, deleted, refused = "started as FirmUpdate.EXE after ", "deleted after the download, not started", \
            "refused before anything is fetched"
        kind = {r["version"]: next((k for k in (started, deleted, refused) if r["outcome"].startswith(k)), r["outcome"])
                for r in rows}
        self.assertEqual(kind,
                         {"1.10": started, "1.08": refused, "1.06": refused, "1.05": refused, "1.04": refused,
                          "1.03": refused, "1.02": refused, "1.01": started, "1.00": started, "0.99": deleted})
        self.assertEqual(rows[0]["size"], "exactly 10 bytes (the signed Size)")
        self.assertTrue(rows[7]["question"].startswith("The drive has firmware 1.02, and this release, 1.01"))
        self.assertEqual(code, 2, err)

    def test_publish_refusals(self):
        for number, (files, status, shown) in enumerate(PUBLISH_CASES):
            with self.subTest(case=number, files=list(files)):
                lists, out = f"{self.folder}/publish{number}", f"{self.folder}/published{number}"
                os.makedirs(lists)
                for name, body in files.items():
                    with open(f"{lists}/{name}", "wb") as file:
                        file.write(body or b"")
                    if body is None:
                        self.maker.sign(f"{lists}/{name[:-8]}", f"model:{name[:-12]}\tissued:1\texpires:1900000000")
                code, text, _ = run([lists, out, "--now", str(NOW)], "publish")
                self.assertEqual(code, status, text)
                self.assertEqual(os.path.exists(out), status < 2)
                if status < 2:
                    with open(f"{out}/nginx-http.conf") as conf:
                        text += conf.read()
                self.assertIn(shown, text)
        # Lists served now that users took with a later issued would refuse the new ones as older.
        lists, out = f"{self.folder}/older", f"{self.folder}/older-out"
        os.makedirs(lists)
        for issued, status in [(1790000000, 0), (1780000000, 1)]:
            with open(f"{lists}/XR.xml", "wb") as file:
                file.write(listing())
            self.maker.sign(f"{lists}/XR.xml", f"model:XR\tissued:{issued}\texpires:1900000000")
            code, text, _ = run([lists, out, "--key", self.maker.key, "--now", str(NOW)], "publish")
            self.assertEqual((code, "publish-older-than-live" in text), (status, status == 1), text)

    def test_published_lists_served_by_nginx(self):
        # Two sample lists published and signed; the peer serves their newest release under /file/.
        os.chmod(self.folder, 0o755)  # nginx's workers read the tree as "nobody"
        peer = subprocess.Popen(
            ["/usr/bin/python3", os.path.join(ROOT, "tests", "peers", "nginx", "nginx_server.py"), "--tool", TOOL,
             "--work", f"{self.folder}/nginx", "--lists", os.path.join(ROOT, "tests", "peers", "http", "lists"),
             "--only", "DVD-RW XR-2080.xml", "--only", "DVD+R%2FRW XR-9.xml", "--sign-key", f"{self.folder}/m.key"],
            stdout=subprocess.PIPE)
        self.addCleanup(lambda: (peer.terminate(), peer.wait(), peer.stdout.close()))
        port = peer.stdout.readline().strip().decode()
        self.assertTrue(port.isdigit(), "nginx did not come up (scripts/test installs Debian's nginx)")
        for model in ["DVD-RW XR-2080", "DVD+R/RW XR-9"]:
            code, out, err = run(["--server", f"127.0.0.1:{port}", "--model", model, "--key", self.maker.key,
                                  "--json"])
            report = json.loads(out)
            # The list and its signature as Wine asks for them; with raw blanks, nginx's 400.
            self.assertEqual([e["outcome"].split(",")[0] for e in report["exchanges"]], ["200", "200", "400", "400"])
            self.assertEqual([f["id"] for f in report["findings"]], ["server-raw-blanks-refused"], out)
            self.assertTrue(report["signature"].startswith("verified"), out)
            self.assertEqual(code, 1, err)
        with open(f"{self.folder}/nginx/access.log") as log:
            self.assertIn('"GET /downloads/downloadxml.aspx.minisig?ModelName=DVD+R/RW%20XR-9 HTTP/1.1" 200', log.read())
        # The releases fetched: the newest is the listed file, the older one is not there.
        code, out, err = run(["--server", f"127.0.0.1:{port}", "--model", "DVD-RW XR-2080", "--key", self.maker.key,
                              "--fetch", "--json"])
        report = json.loads(out)
        self.assertIn("SHA-256 ", report["rows"][0]["fetched"])
        self.assertEqual([f["id"] for f in report["findings"]][1:], ["release-not-fetched"], out)
        self.assertEqual(code, 2, err)


if __name__ == "__main__":
    TOOL = sys.argv.pop(1)
    unittest.main()
