"""Accepts TCP connections on 127.0.0.1 and never says a word.

A client waiting for a greeting (FTP's "220") waits until its own time limit.
Prints the port it listens on (--port 0: any free port) as its first line.
"""
import argparse
import socket
import sys
import time


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0)
    options = parser.parse_args()

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", options.port))
    listener.listen(16)
    print(listener.getsockname()[1], flush=True)
    held = []  # keep every connection open: closing it would be an answer
    while True:
        connection, _ = listener.accept()
        held.append(connection)
        time.sleep(0)


if __name__ == "__main__":
    sys.exit(main())
