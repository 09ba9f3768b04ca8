"""A throwaway certificate authority and an RSA code-signing certificate for the
release tests, made with openssl in the build tree (never committed) and kept while
the certificate has more than a day to run:

    throwaway_signer.py FOLDER

FOLDER/ca.pem        the authority's root certificate ("CN=Nimbrel test root")
FOLDER/signer.pem    the code-signing certificate it issued ("CN=Nimbrel test signer")
FOLDER/signer.p12    its key and certificate with the root, under FOLDER/password
FOLDER/bare.p12      the same without the root and without a password
FOLDER/softhsm2.conf a softhsm2 token "nimbrel-test" holding the key as "signer", its
                     PIN FOLDER/password (SOFTHSM2_CONF names the file)
"""

import os
import secrets
import shutil
import subprocess
import sys

TOKEN_KEY = "pkcs11:token=nimbrel-test;object=signer;type=private"
SOFTHSM_MODULE = "/usr/lib/softhsm/libsofthsm2.so"


def make(folder):
    signer = os.path.join(folder, "signer.pem")
    ready = os.path.join(folder, "ready")
    if os.path.exists(ready) and subprocess.run(["openssl", "x509", "-checkend", "86400", "-noout", "-in", signer],
                                                stdout=subprocess.DEVNULL).returncode == 0:
        return folder
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(os.path.join(folder, "tokens"))
    at = lambda name: os.path.join(folder, name)
    environment = dict(os.environ, SOFTHSM2_CONF=at("softhsm2.conf"))
    run = lambda *command: subprocess.run(command, check=True, cwd=folder, capture_output=True, env=environment)
    password = secrets.token_hex(16)
    with open(at("password"), "w") as stream:
        stream.write(password)
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem",
        "-days", "3650", "-subj", "/CN=Nimbrel test root",
        "-addext", "basicConstraints=critical,CA:true", "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", "signer.key", "-out", "signer.csr",
        "-subj", "/CN=Nimbrel test signer")
    with open(at("signer.ext"), "w") as stream:
        stream.write("basicConstraints=CA:false\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n")
    run("openssl", "x509", "-req", "-in", "signer.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-set_serial", "2",
        "-days", "3650", "-extfile", "signer.ext", "-out", "signer.pem")
    run("openssl", "pkcs12", "-export", "-inkey", "signer.key", "-in", "signer.pem", "-certfile", "ca.pem",
        "-passout", "file:password", "-out", "signer.p12")
    run("openssl", "pkcs12", "-export", "-inkey", "signer.key", "-in", "signer.pem", "-passout", "pass:",
        "-out", "bare.p12")

    with open(at("softhsm2.conf"), "w") as stream:
        stream.write("directories.tokendir = %s\nobjectstore.backend = file\n" % at("tokens"))
    run("openssl", "pkcs8", "-topk8", "-nocrypt", "-in", "signer.key", "-out", "signer.p8")
    run("softhsm2-util", "--init-token", "--free", "--label", "nimbrel-test", "--pin", password, "--so-pin", password)
    run("softhsm2-util", "--import", "signer.p8", "--token", "nimbrel-test", "--label", "signer", "--id", "01",
        "--pin", password)
    open(ready, "w").close()
    return folder


if __name__ == "__main__":
    make(os.path.abspath(sys.argv[1]))
