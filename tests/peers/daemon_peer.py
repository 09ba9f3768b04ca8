"""What the peers that run a system daemon (vsftpd, nginx) share: a free port to give it,
and the port told to the caller only once the daemon answers on it."""
import signal
import socket
import time


def free_port(address="127.0.0.1"):
    with socket.socket() as probe:
        probe.bind((address, 0))
        return probe.getsockname()[1]


def announce_and_wait(server, address, port, seconds=10):
    """Prints port as the first line once server (a Popen) accepts connections there, and
    waits for it; SIGTERM stops it. 1, and no port, if it ends before it answers."""
    signal.signal(signal.SIGTERM, lambda *_: server.terminate())
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            socket.create_connection((address, port), timeout=0.1).close()
            break
        except OSError:
            if server.poll() is not None:
                return 1
            time.sleep(0.05)
    print(port, flush=True)
    return server.wait()
