"""Self-test of run_with_peers.py with the HTTP peer: ports handed over, exit codes
passed on, peers stopped afterwards, a peer without a port refused."""

import os
import socket
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
RUNNER = [sys.executable, os.path.join(HERE, "run_with_peers.py")]
HTTP_PEER = "PORT=%s %s" % (sys.executable, os.path.join(HERE, "http", "http_server.py"))

# Fetches a generated body from the peer, prints the port and the body's size.
FETCH = (
    "import os, urllib.request;"
    "port = os.environ['PORT'];"
    "body = urllib.request.urlopen('http://127.0.0.1:%s/gen?size=5' % port, timeout=30).read();"
    "print(port, len(body), os.environ.get('PROXY', ''))"
)


def run(arguments):
    return subprocess.run(RUNNER + arguments, capture_output=True, text=True, timeout=120)


class RunWithPeers(unittest.TestCase):
    def test_port_reaches_the_program_and_the_peer_stops_after(self):
        done = run(["--peer", HTTP_PEER, "--env", "PROXY=http://127.0.0.1:{PORT}", "--", sys.executable, "-c", FETCH])
        self.assertEqual(done.returncode, 0, done.stderr)
        port, size, proxy = done.stdout.split()
        self.assertEqual(size, "5")
        self.assertEqual(proxy, "http://127.0.0.1:" + port)
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection(("127.0.0.1", int(port)), timeout=5).close()

    def test_exit_code_of_the_program_is_passed_on(self):
        done = run(["--peer", HTTP_PEER, "--", "sh", "-c", "exit 7"])
        self.assertEqual(done.returncode, 7, done.stderr)

    def test_peer_without_a_port_stops_the_run(self):
        done = run(["--peer", "PORT=echo not-a-port", "--", "sh", "-c", "echo ran"])
        self.assertEqual(done.returncode, 2)
        self.assertNotIn("ran", done.stdout)
        self.assertIn("gave no port", done.stderr)


if __name__ == "__main__":
    unittest.main()
