"""Runs a command (a Windows test under wine, say) beside local test servers.

    run_with_peers.py [--dir REL]... [--peer NAME COMMAND_LINE]... -- COMMAND...

Makes a scratch folder, starts every peer, waits for the port each prints as its
first line of output, runs COMMAND and stops the peers again, whatever COMMAND
did. COMMAND sees

    NIMBREL_PEER_SCRATCH       the scratch folder (a Unix path)
    NIMBREL_PEER_<NAME>_PORT   the port of peer NAME (upper case)

A peer's COMMAND_LINE is split like a shell line; "{scratch}" in it stands for the
scratch folder, and a first word ending in ".py" runs with Debian's
/usr/bin/python3 (it sees Debian's Python packages). --dir makes a folder in the
scratch folder before the peers start (world-readable, so that servers that
drop privileges can serve it). The exit code is COMMAND's, or 1 when a peer did
not come up.
"""
import os
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import threading

STARTUP_SECONDS = 30


def parse(argv):
    dirs, peers = [], []
    i = 0
    while i < len(argv) and argv[i] != "--":
        if argv[i] == "--dir" and i + 1 < len(argv):
            dirs.append(argv[i + 1])
            i += 2
        elif argv[i] == "--peer" and i + 2 < len(argv):
            peers.append((argv[i + 1], argv[i + 2]))
            i += 3
        else:
            raise SystemExit("run_with_peers.py: unexpected argument %r\n%s" % (argv[i], __doc__))
    command = argv[i + 1:]
    if not command:
        raise SystemExit("run_with_peers.py: no command after --\n" + __doc__)
    return dirs, peers, command


class Peer:
    def __init__(self, name, line, scratch):
        words = [word.replace("{scratch}", scratch) for word in shlex.split(line)]
        if words[0].endswith(".py"):
            words.insert(0, "/usr/bin/python3")
        self.name = name
        self.process = subprocess.Popen(words, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True)
        self.port = None
        reported = threading.Event()
        threading.Thread(target=self._read, args=(reported,), daemon=True).start()
        reported.wait(STARTUP_SECONDS)

    def _read(self, reported):
        first = self.process.stdout.readline().strip()
        if first.isdigit():
            self.port = first
        reported.set()
        for _ in self.process.stdout:  # keep the pipe drained
            pass

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def main(argv):
    dirs, peer_lines, command = parse(argv)
    scratch = tempfile.mkdtemp(prefix="nimbrel-peers-")
    os.chmod(scratch, 0o755)
    peers = []
    try:
        for folder in dirs:
            path = os.path.join(scratch, folder)
            os.makedirs(path, exist_ok=True)
            os.chmod(path, 0o755)
        env = dict(os.environ, NIMBREL_PEER_SCRATCH=scratch)
        for name, line in peer_lines:
            peer = Peer(name, line, scratch)
            peers.append(peer)
            if peer.port is None:
                print("run_with_peers.py: peer %s did not report a port" % name, file=sys.stderr)
                return 1
            env["NIMBREL_PEER_%s_PORT" % name.upper()] = peer.port
        return subprocess.call(command, env=env)
    finally:
        for peer in reversed(peers):
            peer.stop()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
