"""Runs a test program with local peer servers started for it.

    /usr/bin/python3 run_with_peers.py [--dir REL]... [--peer VAR=COMMAND]...
        [--env NAME=VALUE]... -- PROGRAM [ARGUMENT]...

A scratch folder is made first (NIMBREL_PEER_SCRATCH holds its path), with a
folder REL in it for every --dir (world-readable, so that servers that drop
privileges can serve it). Each --peer COMMAND (split as a shell would, not run
through one; "{scratch}" stands for the scratch folder and "{VAR}" for the port
of a peer given before it; a first word ending in ".py" runs with Debian's
/usr/bin/python3) is started next, in order, and must print the port it listens
on as the first line of its standard output; the program then runs with that
port in the environment variable VAR. --env sets further
variables, in which "{VAR}" stands for a peer's port. When the program ends,
every peer is stopped (SIGTERM, then SIGKILL) and the scratch folder removed;
peers also die with this script, so a test killed for its time-out leaves no
server behind. The exit code is the program's, or 2 when a peer did not come up.

CTest runs the Windows tests this way (the program being `wine-run TEST.exe`), so that
each test process finds its servers on ephemeral ports of 127.0.0.1.
"""

import argparse
import ctypes
import os
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import threading

_PR_SET_PDEATHSIG = 1
_START_TIMEOUT = 30.0


def _die_with_parent():
    """Runs in the peer before it starts: SIGTERM to it when this script ends."""
    try:
        ctypes.CDLL(None, use_errno=True).prctl(_PR_SET_PDEATHSIG, signal.SIGTERM)
    except (OSError, AttributeError):
        pass


def _copy_lines(stream, sink):
    for line in iter(stream.readline, b""):
        sink.buffer.write(line)
        sink.flush()


def _split_assignment(text, option):
    name, sep, value = text.partition("=")
    if not sep or not name:
        raise SystemExit("%s needs NAME=VALUE, not %r" % (option, text))
    return name, value


class Peer:
    def __init__(self, variable, command):
        self.variable = variable
        self.command = command
        self.process = None
        self.port = None

    def start(self):
        self.process = subprocess.Popen(
            self.command, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, preexec_fn=_die_with_parent
        )
        first = []
        reader = threading.Thread(target=lambda: first.append(self.process.stdout.readline()), daemon=True)
        reader.start()
        reader.join(_START_TIMEOUT)
        line = first[0].strip() if first else b""
        if not line.isdigit():
            self.stop()
            raise RuntimeError("peer %s (%s) gave no port: %r" % (self.variable, shlex.join(self.command), line))
        self.port = line.decode()
        # Whatever else the peer prints goes to our stderr, so its pipe never fills.
        threading.Thread(target=_copy_lines, args=(self.process.stdout, sys.stderr), daemon=True).start()

    def stop(self):
        if self.process is None or self.process.poll() is not None:
            return
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def main(argv=None):
    argv = sys.argv[1:] if argv is None else argv
    if "--" not in argv:
        raise SystemExit("usage: run_with_peers.py [--dir REL]... [--peer VAR=COMMAND]... [--env NAME=VALUE]... -- PROGRAM ...")
    split = argv.index("--")
    parser = argparse.ArgumentParser(description="Runs a program with peer servers started for it.")
    parser.add_argument("--dir", action="append", default=[], help="a folder to make in the scratch folder")
    parser.add_argument("--peer", action="append", default=[], help="VAR=COMMAND; the port goes into VAR")
    parser.add_argument("--env", action="append", default=[], help="NAME=VALUE; {VAR} is a peer's port")
    args = parser.parse_args(argv[:split])
    program = argv[split + 1 :]
    if not program:
        raise SystemExit("no program given after --")

    scratch = tempfile.mkdtemp(prefix="nimbrel-peers-")
    os.chmod(scratch, 0o755)
    for folder in args.dir:
        path = os.path.join(scratch, folder)
        os.makedirs(path, exist_ok=True)
        os.chmod(path, 0o755)

    peers = []
    for text in args.peer:
        variable, command = _split_assignment(text, "--peer")
        words = [word.replace("{scratch}", scratch) for word in shlex.split(command)]
        if words and words[0].endswith(".py"):
            words.insert(0, "/usr/bin/python3")
        peers.append(Peer(variable, words))

    environment = dict(os.environ, NIMBREL_PEER_SCRATCH=scratch)
    ports = {}
    try:
        for peer in peers:
            for variable, port in ports.items():
                peer.command = [word.replace("{%s}" % variable, port) for word in peer.command]
            peer.start()
            environment[peer.variable] = ports[peer.variable] = peer.port
        for text in args.env:
            name, value = _split_assignment(text, "--env")
            environment[name] = value.format(**ports)
    except (RuntimeError, OSError, KeyError) as error:
        print("run_with_peers: %s" % error, file=sys.stderr)
        for peer in peers:
            peer.stop()
        shutil.rmtree(scratch, ignore_errors=True)
        return 2

    # A SIGTERM (a CTest time-out) ends the program, then the peers.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        return subprocess.call(program, env=environment)
    finally:
        for peer in peers:
            peer.stop()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
