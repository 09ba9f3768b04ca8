"""Runs Debian's vsftpd as a second, independent FTP server for cross-checks.

Serves --root read-only to anonymous users on --address (127.0.0.1), on --port or
else a free port, which it prints as its first line of output (vsftpd cannot take
port 0 itself). The root
must not be writable by the "ftp" user that the vsftpd package creates. The
configuration lives in a temporary folder; nothing outside it is touched.

  --no-passive  refuse PASV and EPSV, as a server behind a firewall may
  --log FILE    log the protocol to FILE (vsftpd's format: each command on a line
                with 'FTP command: Client "<address>", "<command>"')
"""
import argparse
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from daemon_peer import announce_and_wait, free_port  # noqa: E402

CONFIG = """listen=YES
listen_ipv6=NO
listen_address={address}
listen_port={port}
background=NO
anonymous_enable=YES
no_anon_password=YES
local_enable=NO
write_enable=NO
anon_root={root}
ftp_username=ftp
secure_chroot_dir={empty}
seccomp_sandbox=NO
pasv_enable={passive}
pasv_address={address}
port_enable=YES
connect_from_port_20=NO
dirmessage_enable=NO
"""

LOG = """xferlog_enable=YES
xferlog_std_format=NO
log_ftp_protocol=YES
vsftpd_log_file={log}
"""



def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True)
    parser.add_argument("--vsftpd", default="/usr/sbin/vsftpd")
    parser.add_argument("--address", default="127.0.0.1", help="a loopback address (127.0.0.2: a second FTP host)")
    parser.add_argument("--port", type=int, default=0, help="0 (default): a free port")
    parser.add_argument("--no-passive", action="store_true")
    parser.add_argument("--log")
    options = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="vsftpd-") as folder:
        empty = os.path.join(folder, "empty")
        os.mkdir(empty)
        port = options.port or free_port(options.address)
        config = os.path.join(folder, "vsftpd.conf")
        with open(config, "w", encoding="ascii") as out:
            out.write(CONFIG.format(address=options.address, port=port, root=os.path.abspath(options.root), empty=empty,
                                    passive="NO" if options.no_passive else "YES"))
            out.write(LOG.format(log=os.path.abspath(options.log)) if options.log else "xferlog_enable=NO\n")
        server = subprocess.Popen([options.vsftpd, config])
        return announce_and_wait(server, options.address, port)


if __name__ == "__main__":
    sys.exit(main())
