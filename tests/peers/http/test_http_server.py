"""Checks every route of http_server.py against a real instance on 127.0.0.1.

Run with /usr/bin/python3. With GTEST_OUTPUT=xml:DIR/ set (as scripts/test does),
the results are also written to DIR/NAME.xml in GoogleTest's report form, NAME
being --report-name (default http_peer_test), so each case is counted.
"""

import base64
import hashlib
import http.client
import os
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request
from xml.sax.saxutils import quoteattr

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "http_server.py")
sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, HERE)
from http_server import generated  # noqa: E402


def start_server(*args):
    process = subprocess.Popen(
        [sys.executable, SERVER, *args, "--lifetime", "300"], stdout=subprocess.PIPE, text=True
    )
    return process, int(process.stdout.readline())


class HttpServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        root = cls.folder.name
        cls.body = bytes(range(256)) * 300 + b"tail"
        os.mkdir(os.path.join(root, "sub"))
        for path in ("fw.bin", "sub/fw.bin"):
            with open(os.path.join(root, path), "wb") as file:
                file.write(cls.body)
        os.mkdir(os.path.join(root, "lists"))
        cls.ansi = b'<?xml version="1.0"?><OnlineUpdate><Project Name="CDRW 5210" Status="0"/></OnlineUpdate>'
        cls.utf16 = b"\xff\xfe" + '<OnlineUpdate><Project Name="DVD 16"/></OnlineUpdate>'.encode("utf-16-le")
        digests = b'<a x="{sha256:fw.bin}" y="{SHA256:sub/fw.bin}0" n="{size:fw.bin}" s="{site}:{port}" z="{none}"/>'
        for name, data in (("CDRW 5210.xml", cls.ansi), ("DVD 16.xml", cls.utf16), ("DVD 18.redirect", b"/status/404\n"),
                           ("DVD 20.xml", digests)):
            with open(os.path.join(root, "lists", name), "wb") as file:
                file.write(data)
        cls.log = os.path.join(root, "requests.log")
        cls.process, cls.port = start_server("--root", root, "--log", cls.log, "--value", "site=http://mirror")

    @classmethod
    def tearDownClass(cls):
        cls.process.terminate()
        cls.process.wait(30)
        cls.process.stdout.close()
        cls.folder.cleanup()

    def get(self, target, headers=None):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
        connection.request("GET", target, headers=headers or {})
        response = connection.getresponse()
        try:
            body = response.read()
        except http.client.IncompleteRead as cut:
            body = cut
        connection.close()
        return response, body

    def raw_get(self, target):
        """Sends the target bytes as they are (blanks included); returns the reply."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=30) as sock:
            sock.sendall(b"GET " + target + b" HTTP/1.1\r\nHost: peer\r\nConnection: close\r\n\r\n")
            reply = b""
            while chunk := sock.recv(65536):
                reply += chunk
        head, _, body = reply.partition(b"\r\n\r\n")
        return head, body

    def test_generated_content_follows_its_formula(self):
        size = 3 * 64256 + 777  # crosses the pattern's period
        self.assertEqual(generated(0, size), bytes((i + i // 251) & 0xFF for i in range(size)))
        self.assertEqual(generated(64000, 1000), bytes((i + i // 251) & 0xFF for i in range(64000, 65000)))

    def test_bodies_with_and_without_length(self):
        # The same bytes under each framing; the framing shows in the headers.
        cases = [
            ("/file/fw.bin", self.body, 11, "Content-Length"),
            ("/file/sub/fw.bin", self.body, 11, "Content-Length"),
            ("/chunked/fw.bin", self.body, 11, "Transfer-Encoding"),
            ("/nolength/fw.bin", self.body, 10, None),
            ("/gen?size=100000", generated(0, 100000), 11, "Content-Length"),
            ("/gen?size=0", b"", 11, "Content-Length"),
            ("/gen?size=5000&framing=chunked", generated(0, 5000), 11, "Transfer-Encoding"),
            ("/gen?size=5000&framing=close", generated(0, 5000), 10, None),
        ]
        for target, expected, version, framing_header in cases:
            with self.subTest(target=target):
                response, body = self.get(target)
                self.assertEqual(response.status, 200)
                self.assertEqual(body, expected)
                self.assertEqual(response.version, version)
                if framing_header:
                    self.assertIsNotNone(response.getheader(framing_header))
                else:
                    self.assertIsNone(response.getheader("Content-Length"))
                    self.assertIsNone(response.getheader("Transfer-Encoding"))

    def test_errors_and_missing_files(self):
        for target, status in [
            ("/status/404", 404),
            ("/status/500", 500),
            ("/file/none.bin", 404),
            ("/file/..%2Frequests.log", 404),
            ("/file/sub/..%2Ffw.bin", 404),
            ("/file/sub//fw.bin", 404),
            ("/elsewhere", 404),
            ("/gen?size=x", 400),
        ]:
            with self.subTest(target=target):
                response, body = self.get(target)
                self.assertEqual(response.status, status)
                self.assertEqual(len(body), int(response.getheader("Content-Length")))
        self.assertEqual(self.get("/status/500")[1], b"500 Internal Server Error\n")

    def test_connection_closed_mid_body(self):
        response, cut = self.get("/cut?size=10000&send=3000")
        self.assertEqual(response.getheader("Content-Length"), "10000")
        self.assertIsInstance(cut, http.client.IncompleteRead)
        self.assertEqual(cut.partial, generated(0, 3000))

    def test_slow_body_trickles(self):
        began = time.monotonic()
        response, body = self.get("/slow?size=3000&piece=1000&delay=200")
        self.assertEqual(body, generated(0, 3000))
        self.assertGreaterEqual(time.monotonic() - began, 0.5)  # three pieces, 200 ms before each

    def test_challenges_and_answers(self):
        for code, asked, answer in [
            (401, "WWW-Authenticate", "Authorization"),
            (407, "Proxy-Authenticate", "Proxy-Authorization"),
        ]:
            with self.subTest(code=code):
                target = "/auth/%d?user=ann&password=pw&size=100" % code
                response, body = self.get(target)
                self.assertEqual(response.status, code)
                self.assertEqual(response.getheader(asked), 'Basic realm="nimbrel"')
                self.assertIn(b"<html>", body)
                wrong = {answer: "Basic " + base64.b64encode(b"ann:nope").decode()}
                self.assertEqual(self.get(target, wrong)[0].status, code)
                right = {answer: "Basic " + base64.b64encode(b"ann:pw").decode()}
                response, body = self.get(target, right)
                self.assertEqual((response.status, body), (200, generated(0, 100)))

    def test_redirect_to_a_route_of_the_same_server(self):
        response, _ = self.get("/redirect?to=/gen%3Fsize%3D10")
        self.assertEqual(response.status, 302)
        self.assertEqual(response.getheader("Location"), "http://127.0.0.1:%d/gen?size=10" % self.port)
        with urllib.request.urlopen("http://127.0.0.1:%d/redirect?to=/file/fw.bin" % self.port, timeout=30) as reply:
            self.assertEqual(reply.read(), self.body)

    def test_update_lists_by_model_name(self):
        # Blanks may come raw or escaped; trailing ones never matter.
        def unknown(model):
            return b"<Project Name=" + quoteattr(model).encode() + b' Status="-1">'

        digest = hashlib.sha256(self.body).hexdigest()
        cases = [
            (b"CDRW 5210", self.ansi),
            (b"CDRW 5210       ", self.ansi),
            (b"CDRW%205210%20%20", self.ansi),
            (b"DVD 16          ", self.utf16),
            (b"DVD 17", unknown("DVD 17")),
            (b"", unknown("")),
            (b"../requests.log", unknown("../requests.log")),
            # Placeholders become the digests of files under the root, the port and values.
            (b"DVD 20", ('<a x="%s" y="%s0" n="%d" s="http://mirror:%d" z="{none}"/>'
                         % (digest, digest.upper(), len(self.body), self.port)).encode()),
        ]
        for model, expected in cases:
            with self.subTest(model=model):
                head, body = self.raw_get(b"/downloads/downloadxml.aspx?ModelName=" + model)
                self.assertTrue(head.startswith(b"HTTP/1.1 200 "), head)
                self.assertIn(expected, body)
                if expected in (self.ansi, self.utf16):
                    self.assertEqual(body, expected)

    def test_update_list_redirected_by_model_name(self):
        head, _ = self.raw_get(b"/downloads/downloadxml.aspx?ModelName=DVD 18    ")
        self.assertTrue(head.startswith(b"HTTP/1.1 302 "), head)
        self.assertIn(b"\r\nLocation: http://peer/status/404\r\n", head)

    def test_request_log_keeps_heads_as_received(self):
        target = b"/downloads/downloadxml.aspx?ModelName=CDRW 5210    "
        self.raw_get(target)
        line = b"GET " + target + b" HTTP/1.1\r\nHost: peer\r\nConnection: close\r\n\r\n"
        _, served = self.get("/_log")
        self.assertIn(line, served)
        self.assertNotIn(b"GET /_log", served)
        with open(self.log, "rb") as file:
            self.assertIn(line, file.read())
        self.get("/_log?clear=1")
        self.assertEqual(self.get("/_log")[1], b"")


class LifecycleTest(unittest.TestCase):
    def test_ephemeral_ports_port_file_and_shutdown(self):
        with tempfile.TemporaryDirectory() as folder:
            port_file = os.path.join(folder, "port")
            first, first_port = start_server("--port-file", port_file)
            second, second_port = start_server()
            try:
                self.assertNotEqual(first_port, second_port)
                with open(port_file) as file:
                    self.assertEqual(int(file.read()), first_port)
                with urllib.request.urlopen("http://127.0.0.1:%d/_shutdown" % first_port, timeout=30) as reply:
                    self.assertEqual(reply.status, 200)
                self.assertEqual(first.wait(30), 0)
                second.terminate()
                self.assertEqual(second.wait(30), 0)
            finally:
                for process in (first, second):
                    if process.poll() is None:
                        process.kill()
                        process.wait()
                    process.stdout.close()


def write_gtest_report(path, result, names):
    """A GoogleTest-style XML report: one testcase per test, failures marked."""
    # A failed subTest counts against the test that holds it.
    failed = {getattr(test, "test_case", test).id(): text for test, text in result.failures + result.errors}
    lines = ['<?xml version="1.0" encoding="UTF-8"?>', '<testsuites tests="%d">' % len(names), '<testsuite name="HttpPeer">']
    for name in names:
        if name in failed:
            lines.append('<testcase name=%s><failure message=%s/></testcase>' % (quoteattr(name), quoteattr(failed[name])))
        else:
            lines.append("<testcase name=%s/>" % quoteattr(name))
    lines += ["</testsuite>", "</testsuites>"]
    with open(path, "w") as file:
        file.write("\n".join(lines) + "\n")


def main():
    report_name = "http_peer_test"
    if "--report-name" in sys.argv:
        report_name = sys.argv[sys.argv.index("--report-name") + 1]
    suite = unittest.defaultTestLoader.loadTestsFromModule(sys.modules[__name__])
    names = [test.id() for group in suite for test in group]
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    output = os.environ.get("GTEST_OUTPUT", "")
    if output.startswith("xml:") and output.endswith("/"):
        write_gtest_report(os.path.join(output[4:], report_name + ".xml"), result, names)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
