"""The tests' TLS certificates, made with the host's openssl when the end-to-end tests start: the
CTest fixture "tls" runs this module, which makes them in the build folder (never in the source
tree) and has the Wine prefix trust the tests' certificate authority.

Two authorities, each with a server certificate for the name localhost (Wine's name check refuses
an IP address in a certificate): "trusted", which trust-root.exe adds to the prefix's local
machine Root store, and "untrusted", which nothing trusts. Certificates that are still good for a
week are kept, so that repeated runs do not pile authorities up in the prefix.

Wine 8's certificate check refuses an ECDSA signature whose r or s is shorter than 32 bytes once
its leading zero bytes are dropped, as DER drops them: about one signature in 128, so about one
set of certificates in 64 would fail every test of a trusted server; Windows accepts them. A
certificate signed so is made anew until both signatures have full-length halves."""

import os
import ssl
import subprocess
import sys

TRUSTED = "trusted"
UNTRUSTED = "untrusted"
SERVER_NAME = "localhost"
_DAYS = 30
_KEEP_SECONDS = 7 * 24 * 3600


def ChainAndKey(folder, kind):
    """The server's certificate chain (PEM: the server's, then its authority's) and its key."""
    return os.path.join(folder, kind, "chain.pem"), os.path.join(folder, kind, "server.key")


def AuthorityDer(folder, kind):
    return os.path.join(folder, kind, "ca.der")


def _OpenSsl(*arguments, cwd):
    subprocess.run(["openssl", *arguments], cwd=cwd, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE)


def _ReadDer(data, at):
    """(tag, contents, the offset after them) of the DER element at `at`."""
    tag, length, at = data[at], data[at + 1], at + 2
    if length & 0x80:
        count = length & 0x7F
        length, at = int.from_bytes(data[at:at + count], "big"), at + count
    return tag, data[at:at + length], at + length


def _SignatureHalves(path):
    """The lengths of r and s, as DER writes them, in the ECDSA signature of the first certificate
    in the PEM file `path`."""
    # A chain file holds more than one block, and the whole text is not one certificate: which
    # chain lengths then happened to decode as base64 was a matter of chance.
    with open(path) as pem:
        text = pem.read()
    end = text.index(ssl.PEM_FOOTER) + len(ssl.PEM_FOOTER)
    der = ssl.PEM_cert_to_DER_cert(text[:end])
    _, certificate, _ = _ReadDer(der, 0)
    _, _, at = _ReadDer(certificate, 0)  # what is signed
    _, _, at = _ReadDer(certificate, at)  # the signature's algorithm
    _, bits, _ = _ReadDer(certificate, at)
    _, signature, _ = _ReadDer(bits[1:], 0)  # after the count of unused bits
    _, r, at = _ReadDer(signature, 0)
    _, s, _ = _ReadDer(signature, at)
    return len(r.lstrip(b"\0")), len(s.lstrip(b"\0"))


def _WineChecks(path):
    return _SignatureHalves(path) == (32, 32)


def _StillGood(path):
    if not os.path.exists(path):
        return False
    check = subprocess.run(["openssl", "x509", "-in", path, "-noout", "-checkend",
                            str(_KEEP_SECONDS)], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
    return check.returncode == 0 and _WineChecks(path)


def _MakeAuthorityAndServer(folder, kind):
    work = os.path.join(folder, kind)
    chain, _ = ChainAndKey(folder, kind)
    while not (_StillGood(os.path.join(work, "ca.pem")) and _StillGood(chain)):
        _MakeAnew(work, chain, kind)


def _MakeAnew(work, chain, kind):
    os.makedirs(work, exist_ok=True)
    with open(os.path.join(work, "server.ext"), "w") as extensions:
        extensions.write("subjectAltName=DNS:%s\nextendedKeyUsage=serverAuth\n"
                         "basicConstraints=CA:FALSE\n" % SERVER_NAME)
    _OpenSsl("ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", "ca.key", cwd=work)
    _OpenSsl("req", "-x509", "-new", "-key", "ca.key", "-sha256", "-days", str(_DAYS), "-subj",
             "/CN=zelkupd end-to-end tests %s CA" % kind, "-addext",
             "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign",
             "-out", "ca.pem", cwd=work)
    _OpenSsl("x509", "-in", "ca.pem", "-outform", "DER", "-out", "ca.der", cwd=work)
    _OpenSsl("ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", "server.key", cwd=work)
    _OpenSsl("req", "-new", "-key", "server.key", "-subj", "/CN=" + SERVER_NAME, "-out",
             "server.csr", cwd=work)
    _OpenSsl("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
             "-CAcreateserial", "-days", str(_DAYS), "-sha256", "-extfile", "server.ext", "-out",
             "server.pem", cwd=work)
    with open(chain, "wb") as output:
        for name in ("server.pem", "ca.pem"):
            with open(os.path.join(work, name), "rb") as part:
                output.write(part.read())


def Main():
    from harness.environment import LoadConfig, WindowsPath

    config = LoadConfig()
    for kind in (TRUSTED, UNTRUSTED):
        _MakeAuthorityAndServer(config.TlsDir, kind)
    trust = subprocess.run([config.WineRun, config.WinePrefix, config.TrustRoot,
                            WindowsPath(AuthorityDer(config.TlsDir, TRUSTED))],
                           stdin=subprocess.DEVNULL, capture_output=True, timeout=240)
    if trust.returncode != 0:
        sys.stderr.write(trust.stdout.decode(errors="replace") + trust.stderr.decode(errors="replace"))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(Main())
