"""Runs Debian's nginx with a configuration of its own, serving update lists that
nimbrel-list publish wrote, as a maker's server would.

    /usr/bin/python3 nginx_server.py --work DIR --lists DIR --tool NIMBREL-LIST
        [--only FILE]... [--sign-key FILE] [--root DIR] [--port N]

In --work it fills in the lists of --lists (every MODEL.xml, or the --only ones) as
the list peer does ({port} this server's port, {sha256:PATH} and {size:PATH} of files
under --root, by default --work/root, with a stand-in made for a file not there:
tests/peers/http/http_server.py), signs each with --sign-key (minisign,
no password; the public key beside it) for its model ("%XX" in the file name standing
for the byte XX), issued now and expiring in 90 days, and publishes them with
`NIMBREL-LIST publish` into --work/site. Then it starts nginx on 127.0.0.1:--port (or
a free port) with that configuration, --root served under /file/, and every request
logged in --work/access.log; prints the port as its first line once nginx answers, and
stops nginx (by its pid) on SIGTERM. A publish that refuses the lists, or an nginx
that does not start, ends it without a port.
"""
import argparse
import ctypes
import os
import re
import signal
import subprocess
import sys
import time
import urllib.parse

PEERS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path[:0] = [os.path.join(PEERS, "http"), PEERS]
import http_server  # noqa: E402  the list peer's filling-in
from daemon_peer import announce_and_wait, free_port  # noqa: E402

CONFIG = """worker_processes 1;
pid {work}/nginx.pid;
events {{ worker_connections 64; }}
http {{
    access_log {work}/access.log;
    client_body_temp_path {work}/body;
    proxy_temp_path {work}/proxy;
    fastcgi_temp_path {work}/fastcgi;
    uwsgi_temp_path {work}/uwsgi;
    scgi_temp_path {work}/scgi;
    include {work}/site/nginx-http.conf;
    server {{
        listen 127.0.0.1:{port};
        include {work}/site/nginx-server.conf;
        location /file/ {{ alias {root}/; }}
    }}
}}
"""


def die_with_parent():
    ctypes.CDLL(None).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def prepare(options, port, lists):
    os.makedirs(lists, exist_ok=True)
    names = options.only or sorted(name for name in os.listdir(options.lists) if name.endswith(".xml"))
    for name in names:
        with open(os.path.join(options.lists, name), "rb") as file:
            body = http_server.list_values(file.read(), {"port": str(port)})
        # A release a list names by its digest or size: a stand-in where --root has none.
        for path in re.findall(rb"\{(?:sha256|SHA256|size):([^}]*)\}", body):
            release = os.path.join(options.root, *path.decode("latin-1").split("/"))
            if not os.path.exists(release):
                os.makedirs(os.path.dirname(release), exist_ok=True)
                with open(release, "wb") as file:
                    file.write(b"MZ stand-in release\n")
        body = http_server.file_digests(body, options.root)
        path = os.path.join(lists, name)
        with open(path, "wb") as file:
            file.write(body)
        if options.sign_key:
            model = urllib.parse.unquote(name[:-4])  # "%2F" stands for "/"
            now = int(time.time())
            comment = "model:%s\tissued:%d\texpires:%d" % (model, now, now + 90 * 24 * 3600)
            http_server.minisign("-S", "-s", options.sign_key, "-m", path, "-t", comment)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--work", required=True)
    parser.add_argument("--lists", required=True)
    parser.add_argument("--tool", required=True)
    parser.add_argument("--only", action="append", default=[])
    parser.add_argument("--sign-key")
    parser.add_argument("--root")
    parser.add_argument("--port", type=int, default=0)
    options = parser.parse_args()

    work = os.path.abspath(options.work)
    os.makedirs(work, exist_ok=True)
    os.chmod(work, 0o755)  # nginx's workers read the tree as "nobody"
    options.root = os.path.abspath(options.root or os.path.join(work, "root"))
    port = options.port or free_port()
    prepare(options, port, os.path.join(work, "lists"))
    keys = ["--key-file", os.path.splitext(options.sign_key)[0] + ".pub"] if options.sign_key else []
    published = subprocess.run([options.tool, "publish", os.path.join(work, "lists"), os.path.join(work, "site"), *keys],
                               stdout=sys.stderr)
    if published.returncode not in (0, 1):
        return 1
    with open(os.path.join(work, "nginx.conf"), "w", encoding="ascii") as out:
        out.write(CONFIG.format(work=work, port=port, root=options.root))
    server = subprocess.Popen(["nginx", "-p", work, "-e", os.path.join(work, "error.log"), "-c",
                               os.path.join(work, "nginx.conf"), "-g", "daemon off;"], preexec_fn=die_with_parent)
    return announce_and_wait(server, "127.0.0.1", port)


if __name__ == "__main__":
    sys.exit(main())
