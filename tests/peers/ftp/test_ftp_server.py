"""Checks the FTP test peers themselves, with Python's ftplib as the client."""
import ftplib
import io
import os
import socket
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
PAYLOAD = bytes(range(256)) * 40  # 10240 bytes, every byte value


class Peer:
    def __init__(self, script, *args):
        self.process = subprocess.Popen([sys.executable, os.path.join(HERE, script), *args],
                                        stdout=subprocess.PIPE, text=True)
        self.port = int(self.process.stdout.readline())

    def stop(self):
        self.process.terminate()
        self.process.wait(10)
        self.process.stdout.close()


class FtpServerTest(unittest.TestCase):
    def start(self, *args):
        self.root = tempfile.mkdtemp()
        with open(os.path.join(self.root, "fw.bin"), "wb") as f:
            f.write(PAYLOAD)
        self.log = os.path.join(self.root, "commands.log")
        peer = Peer("ftp_server.py", "--root", self.root, "--log", self.log, *args)
        self.addCleanup(peer.stop)
        client = ftplib.FTP()
        client.connect("127.0.0.1", peer.port, timeout=10)
        client.login()
        self.addCleanup(client.close)
        return client

    def retrieve(self, client, rest=None):
        data = bytearray()
        reply = client.retrbinary("RETR fw.bin", data.extend, rest=rest)
        return bytes(data), reply

    def test_download_resume_and_upload(self):
        client = self.start()
        self.assertEqual(self.retrieve(client)[0], PAYLOAD)
        self.assertEqual(self.retrieve(client, rest=1000)[0], PAYLOAD[1000:])
        client.storbinary("STOR up.bin", io.BytesIO(b"uploaded"))
        with open(os.path.join(self.root, "up.bin"), "rb") as f:
            self.assertEqual(f.read(), b"uploaded")
        with open(self.log) as f:
            self.assertIn("REST 1000\n", f.read())

    def test_rest_in_ascii_mode_is_refused(self):
        client = self.start()
        client.voidcmd("TYPE A")
        with self.assertRaises(ftplib.error_perm):
            client.sendcmd("REST 1000")

    def test_rest_reply_can_be_chosen(self):
        client = self.start("--rest-reply", "502 Resume is not supported here.")
        client.voidcmd("TYPE I")
        with self.assertRaises(ftplib.error_perm) as refused:
            client.sendcmd("REST 1000")
        self.assertEqual(str(refused.exception), "502 Resume is not supported here.")

    def test_download_cut_short(self):
        for reply in ("226 Transfer complete.", "426 Connection closed; transfer aborted."):
            with self.subTest(reply=reply):
                client = self.start("--drop-after", "3000", "--drop-reply", reply)
                data = bytearray()
                try:
                    client.retrbinary("RETR fw.bin", data.extend)
                except ftplib.error_temp:
                    pass
                self.assertEqual(bytes(data), PAYLOAD[:3000])

    def test_only_named_downloads_are_cut_short(self):
        client = self.start("--drop-after", "3000", "--drop-name", "cut", "--drop-reply", "226 Transfer complete.")
        with open(os.path.join(self.root, "cut.bin"), "wb") as f:
            f.write(PAYLOAD)
        self.assertEqual(self.retrieve(client), (PAYLOAD, "226 Transfer complete."))
        data = bytearray()
        self.assertEqual(client.retrbinary("RETR cut.bin", data.extend), "226 Transfer complete.")
        self.assertEqual(bytes(data), PAYLOAD[:3000])
        self.assertEqual(self.retrieve(client)[0], PAYLOAD)  # the next one is whole again

    def test_max_rate_slows_downloads(self):
        client = self.start("--max-rate", "4096")
        started = time.monotonic()
        self.assertEqual(self.retrieve(client)[0], PAYLOAD)
        self.assertGreater(time.monotonic() - started, 1.0)  # 10240 bytes at 4096 per second

    def test_a_port_in_use_ends_the_server_with_a_clear_error(self):
        with socket.socket() as taken:
            taken.bind(("127.0.0.1", 0))
            taken.listen()
            port = taken.getsockname()[1]
            server = subprocess.run([sys.executable, os.path.join(HERE, "ftp_server.py"), "--root", tempfile.mkdtemp(),
                                     "--port", str(port)], capture_output=True, text=True, timeout=30)
        self.assertEqual(server.returncode, 1)
        self.assertEqual(server.stdout, "")
        self.assertIn("cannot listen on 127.0.0.1:%d" % port, server.stderr)

    def test_upload_reply_can_be_chosen(self):
        client = self.start("--store-reply", "452 Insufficient storage space.")
        with self.assertRaises(ftplib.error_temp) as refused:
            client.storbinary("STOR up.bin", io.BytesIO(b"uploaded"))
        self.assertEqual(str(refused.exception), "452 Insufficient storage space.")
        self.assertEqual(self.retrieve(client)[0], PAYLOAD)  # downloads end as usual

    def test_login_reply_can_be_chosen(self):
        root = tempfile.mkdtemp()
        peer = Peer("ftp_server.py", "--root", root, "--login-reply", "421 Too many users.")
        self.addCleanup(peer.stop)
        client = ftplib.FTP()
        client.connect("127.0.0.1", peer.port, timeout=10)
        self.addCleanup(client.close)
        with self.assertRaises(ftplib.error_temp) as refused:
            client.login()
        self.assertEqual(str(refused.exception), "421 Too many users.")

    def test_vsftpd_serves_downloads_and_resumes(self):
        root = tempfile.mkdtemp()
        os.chmod(root, 0o755)
        with open(os.path.join(root, "fw.bin"), "wb") as f:
            f.write(PAYLOAD)
        peer = Peer("vsftpd_server.py", "--root", root)
        self.addCleanup(peer.stop)
        client = ftplib.FTP()
        client.connect("127.0.0.1", peer.port, timeout=10)
        client.login()
        self.addCleanup(client.close)
        self.assertEqual(self.retrieve(client)[0], PAYLOAD)
        self.assertEqual(self.retrieve(client, rest=1000)[0], PAYLOAD[1000:])

    def test_silent_server_accepts_and_never_greets(self):
        peer = Peer("silent_server.py")
        self.addCleanup(peer.stop)
        with socket.create_connection(("127.0.0.1", peer.port), timeout=5) as connection:
            connection.settimeout(0.5)
            with self.assertRaises(socket.timeout):
                connection.recv(1)


if __name__ == "__main__":
    unittest.main()
