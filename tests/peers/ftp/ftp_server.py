"""A real FTP server for the transfer tests, on 127.0.0.1.

Built on Debian's pyftpdlib (run it with /usr/bin/python3). It serves --root to
anonymous users with every permission (download, upload, rename, delete), and to
--user/--password when given. Misbehaviours for the error paths:

  --rest-reply TEXT   answer every REST with this reply (e.g. "502 No resume")
  --drop-after N      send only the first N bytes of every download, then close
                      the data connection (the control reply is --drop-reply)
  --drop-name TEXT    cut short only downloads whose path contains TEXT; the
                      others are served whole with their usual replies
  --endless-name TEXT downloads whose path contains TEXT send the file and then
                      zero bytes without end (a listing still gives the file's size)
  --login-reply TEXT  answer every USER with this reply and close the connection
                      (a server that turns logins away: "421 Too many users.")
  --store-reply TEXT  end every upload with this reply instead of "226" (the
                      data is stored all the same), e.g. "452 Disk full."
  --log FILE          append every command received, one per line
  --max-rate N        send data at no more than N bytes per second (a download
                      slow enough to be watched)

It listens on --port (0: any free port) and prints the port it got as its first
line of output, so a test can start it and read where to connect. A port that
cannot be had (a fixed one already in use) ends it at once with a one-line error
and exit code 1.
"""
import argparse
import logging
import sys
import warnings

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, FileProducer, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


class EndlessProducer(FileProducer):
    """Yields the file, then zero bytes for as long as the client reads."""

    def more(self):
        return super().more() or bytes(self.buffer_size)


class CutShortProducer(FileProducer):
    """Yields at most `limit` bytes of the file, then ends as if it were all."""

    limit = 0

    def __init__(self, file, type):
        super().__init__(file, type)
        self._left = self.limit

    def more(self):
        if self._left <= 0:
            return b""
        data = super().more()[: self._left]
        self._left -= len(data)
        return data


def make_handler(options):
    class Handler(FTPHandler):
        def pre_process_command(self, line, cmd, arg):
            if options.log:
                with open(options.log, "a", encoding="utf-8") as log:
                    log.write(line + "\n")
            super().pre_process_command(line, cmd, arg)

        def ftp_USER(self, line):
            if options.login_reply:
                self.respond(options.login_reply)
                self.close_when_done()
                return
            super().ftp_USER(line)

        def ftp_REST(self, line):
            if options.rest_reply:
                self.respond(options.rest_reply)
                return
            super().ftp_REST(line)

        def ftp_RETR(self, file):
            endless = options.endless_name is not None and options.endless_name in file
            cut = options.drop_after is not None and (options.drop_name is None or options.drop_name in file)
            if not (endless or cut):
                return super().ftp_RETR(file)
            rest_pos = self._restart_position
            self._restart_position = 0
            try:
                fd = self.run_as_current_user(self.fs.open, file, "rb")
            except OSError as err:
                self.respond("550 %s." % err.strerror)
                return None
            fd.seek(rest_pos)
            CutShortProducer.limit = options.drop_after or 0
            producer = (EndlessProducer if endless else CutShortProducer)(fd, self._current_type)
            self._cutting = not endless
            self.push_dtp_data(producer, isproducer=True, file=fd, cmd="RETR")
            return file

        def ftp_STOR(self, file, mode="w"):
            self._storing = True
            return super().ftp_STOR(file, mode)

        def respond(self, resp, logfun=logging.debug):
            # A cut-short download ends with the configured reply instead; without
            # --drop-name, so does every other transfer (a listing, say).
            cuts = options.drop_name is None or getattr(self, "_cutting", False)
            if options.drop_after is not None and cuts and resp.startswith("226"):
                self._cutting = False
                resp = options.drop_reply
            # So does an upload, when told.
            if options.store_reply and getattr(self, "_storing", False) and resp.startswith("226"):
                self._storing = False
                resp = options.store_reply
            super().respond(resp, logfun)

    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(options.root, perm="elradfmwMT")
    if options.user:
        authorizer.add_user(options.user, options.password or "", options.root, perm="elradfmwMT")
    Handler.authorizer = authorizer
    # sendfile() would bypass the producers that cut a download short or prolong it.
    Handler.use_sendfile = options.drop_after is None and options.endless_name is None
    Handler.passive_ports = None
    if options.max_rate:
        class Throttled(ThrottledDTPHandler):
            write_limit = options.max_rate

        Handler.dtp_handler = Throttled
    Handler.permit_foreign_addresses = False
    return Handler


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--user")
    parser.add_argument("--password")
    parser.add_argument("--rest-reply")
    parser.add_argument("--drop-after", type=int)
    parser.add_argument("--drop-reply", default="426 Connection closed; transfer aborted.")
    parser.add_argument("--drop-name")
    parser.add_argument("--endless-name")
    parser.add_argument("--max-rate", type=int)
    parser.add_argument("--login-reply")
    parser.add_argument("--store-reply")
    parser.add_argument("--log")
    options = parser.parse_args()

    logging.basicConfig(level=logging.WARNING)
    warnings.filterwarnings("ignore", "write permissions assigned to anonymous user")
    try:
        server = FTPServer(("127.0.0.1", options.port), make_handler(options))
    except OSError as error:
        print("ftp_server.py: cannot listen on 127.0.0.1:%d: %s" % (options.port, error.strerror or error), file=sys.stderr)
        return 1
    print(server.address[1], flush=True)
    try:
        server.serve_forever(handle_exit=True)
    finally:
        server.close_all()


if __name__ == "__main__":
    sys.exit(main())
