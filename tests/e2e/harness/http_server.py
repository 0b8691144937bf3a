"""The test's own loopback HTTP server: release pages, archives, error statuses and broken
transfers, each at a URL of the test's choosing, with every request recorded.

The updater reaches it as its HTTP proxy. Wine's WinINet takes the proxy from the http_proxy
environment variable, which the harness sets for each run, so every test has a server of its own
on a port of its own, tests run side by side, and the updater under test is the product build with
its own site URL. Requests therefore arrive in absolute form ("GET http://host/path"); requests in
origin form (a build whose site URL names this server directly) are served the same way.

Given the tests' certificates (harness/certificates.py), it speaks TLS as well, under the name
localhost: to a client that asks its proxy for a tunnel to an https:// URL (CONNECT), the tunnel
ends in a TLS server right here; and a connection that opens with a TLS handshake (an https URL of
this server's own port, without proxy) is answered the same way. Which certificate it shows is the
test's choice; every handshake is recorded, whether it succeeded or the client refused it.

As a company proxy does, it can want a logon (RequireProxyLogon): whatever is asked of it as a proxy,
a tunnel included, without those credentials is answered 407.
"""

import base64
import dataclasses
import http.server
import os
import socket
import ssl
import struct
import threading
import time
import urllib.parse

from harness.certificates import TRUSTED, ChainAndKey


NOT_FOUND_PAGE = b"<html><body>404 Not Found</body></html>"


@dataclasses.dataclass
class TResponse:
    Status: int = 200
    Body: bytes = b""
    Headers: list = dataclasses.field(default_factory=list)  # (name, value) pairs
    # The Content-Length announced; None announces the body's own length.
    ContentLength: int = None
    # Reset the connection after this many bytes of the body; None sends the body whole.
    DropAfter: int = None
    ResetDelay: float = 0.0  # seconds between the last byte sent and the reset
    # Reset the connection without any answer.
    DropAtOnce: bool = False
    Delay: float = 0.0  # seconds before the answer
    BlockDelay: float = 0.0  # seconds between blocks of the body
    BlockSize: int = 10240
    # With an ETag, a request for "Range: bytes=N-" whose If-Range names it is answered 206 with
    # the body from N on. Breaks: how many bytes of the body the first answers send before the
    # connection is reset, one count per answer in turn (the list is used up); later answers send
    # it whole.
    ETag: str = None
    Breaks: list = dataclasses.field(default_factory=list)
    # A server that ignores If-Range: every request for "Range: bytes=N-" is answered 206 with this
    # response's body from N on, under its own ETag.
    Impostor: "TResponse" = None


# What a proxy that wants a logon answers: Basic, the scheme Wine's WinINet can answer with the
# credentials of its proxy setting.
PROXY_LOGON = TResponse(Status=407, Headers=[("Proxy-Authenticate", 'Basic realm="office"')])


def Page(body, status=200):
    return TResponse(Status=status, Body=body, Headers=[("Content-Type", "text/html")])


def Archive(data):
    return TResponse(Body=data, Headers=[("Content-Type", "application/zip")])


def Status(status, body=b""):
    return TResponse(Status=status, Body=body, Headers=[("Content-Type", "text/html")])


def Redirect(location, status=301):
    return TResponse(Status=status, Headers=[("Location", location)])


def CutShort(body, announced):
    """A body shorter than its announced Content-Length, then an orderly close."""
    return TResponse(Body=body, ContentLength=announced)


def Dropped(body, after, reset_delay=0.0):
    """The headers and the first `after` bytes of the body, then, `reset_delay` seconds later
    (time for the client to take in what came), a reset connection."""
    return TResponse(Body=body, DropAfter=after, ResetDelay=reset_delay)


def Resumable(body, etag, breaks=(), reset_delay=0.3):
    """A body that honours Range and If-Range for its ETag, each of the first answers reset after
    the count of bytes `breaks` gives it."""
    return TResponse(Body=body, Headers=[("Content-Type", "application/zip")], ETag=etag,
                     Breaks=list(breaks), ResetDelay=reset_delay)


def DroppedAtOnce():
    return TResponse(DropAtOnce=True)


def Slow(body, delay=0.0, block_delay=0.0, block_size=10240):
    return TResponse(Body=body, Delay=delay, BlockDelay=block_delay, BlockSize=block_size)


def Silent():
    """Takes the request and then answers nothing, for longer than any test runs: a server that
    has stopped working but keeps its connections."""
    return TResponse(Delay=3600.0)


def LargePage(size, filler=b"<p>zelk</p>\n", ending=b""):
    """A page of `size` bytes: filler repeated, then `ending` (a marker and link, say)."""
    count = max(0, size - len(ending))
    return Page((filler * (count // len(filler) + 1))[:count] + ending)


@dataclasses.dataclass(frozen=True)
class TRequest:
    Method: str
    Url: str  # absolute and normalised (see NormalUrl)
    Path: str  # path and query
    Target: str  # the request target exactly as it came: a fragment and escapes stay in it
    AbsoluteForm: bool  # True when it came the way a client talks to a proxy
    Headers: dict


_DEFAULT_PORTS = {"http": 80, "https": 443}
_TLS_HANDSHAKE = 0x16  # the first byte a TLS client sends


def NormalUrl(url):
    """Scheme and host in lower case, the default port left out: the form routes are kept in."""
    parts = urllib.parse.urlsplit(url)
    host = (parts.hostname or "").lower()
    default = _DEFAULT_PORTS.get(parts.scheme.lower())
    netloc = host if parts.port in (None, default) else "%s:%d" % (host, parts.port)
    path = parts.path or "/"
    return urllib.parse.urlunsplit((parts.scheme.lower(), netloc, path, parts.query, ""))


class _THandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    Scheme = "http"  # of the requests in origin form

    def log_message(self, format, *args):
        pass

    def do_GET(self):
        self.Serve()

    def do_HEAD(self):
        self.Serve()

    def do_CONNECT(self):
        """A tunnel to an https:// URL, asked of the proxy: it ends in this server's TLS side."""
        self.close_connection = True
        self.server.Owner.RecordTunnel(self.headers.get("Proxy-Authorization"))
        if self.server.Owner.WantsProxyLogon(self.headers):
            self.Answer(PROXY_LOGON)
            return
        if not self.server.Owner.SpeaksTls():
            self.send_error(501)
            return
        self.send_response(200, "Connection established")
        self.end_headers()
        self.wfile.flush()
        self.server.Owner.ServeTls(self.connection, self.client_address, self.server)

    def Serve(self):
        absolute = self.path.lower().startswith("http://")
        url = self.path if absolute else "%s://%s%s" % (self.Scheme, self.headers.get("Host", ""),
                                                       self.path)
        url = NormalUrl(url)
        parts = urllib.parse.urlsplit(url)
        path = parts.path + ("?" + parts.query if parts.query else "")
        self.server.Owner.Record(TRequest(self.command, url, path, self.path, absolute,
                                          dict(self.headers)))
        response = self.server.Owner.ResponseFor(url)
        if absolute and self.server.Owner.WantsProxyLogon(self.headers):
            response = PROXY_LOGON
        self.close_connection = True
        try:
            self.Answer(response)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def Answer(self, response):
        if response.DropAtOnce:
            self.Reset()
            return
        time.sleep(response.Delay)
        status, start = response.Status, 0
        wanted = self.headers.get("Range", "")
        asked = wanted.startswith("bytes=") and wanted.endswith("-")
        if asked and response.Impostor is not None:
            response = response.Impostor
            status, start = 206, int(wanted[len("bytes="):-1])
        elif (response.ETag is not None and asked
                and self.headers.get("If-Range") == response.ETag):
            status, start = 206, int(wanted[len("bytes="):-1])
        body = response.Body[start:]
        length = len(body) if response.ContentLength is None else response.ContentLength
        self.send_response(status)
        for name, value in response.Headers:
            self.send_header(name, value)
        if response.ETag is not None:
            self.send_header("ETag", response.ETag)
        if status == 206:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (
                start, len(response.Body) - 1, len(response.Body)))
        self.send_header("Content-Length", str(length))
        self.send_header("Connection", "close")
        self.end_headers()
        if self.command == "HEAD":
            return
        drop = response.DropAfter
        if response.Breaks:
            drop = response.Breaks.pop(0)
        body = body if drop is None else body[:drop]
        for start in range(0, len(body), response.BlockSize):
            if start > 0:
                time.sleep(response.BlockDelay)
            self.wfile.write(body[start : start + response.BlockSize])
            self.wfile.flush()
        if drop is not None:
            time.sleep(response.ResetDelay)
            self.Reset()

    def Reset(self):
        """Closes the connection with a reset instead of an orderly end."""
        self.wfile.flush()
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.connection.close()


class _TTlsHandler(_THandler):
    Scheme = "https"


class _TServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    Owner = None

    def finish_request(self, request, client_address):
        try:
            first = request.recv(1, socket.MSG_PEEK)
        except OSError:
            return
        if first and first[0] == _TLS_HANDSHAKE and self.Owner.SpeaksTls():
            self.Owner.ServeTls(request, client_address, self)
        else:
            super().finish_request(request, client_address)


class TLoopbackServer:
    """Serves the routes of one test on 127.0.0.1, at a free port unless told one, in a thread of
    its own. With a folder, a URL without a route is answered with the file its path names below
    that folder, whatever the host. With the folder of the tests' certificates it speaks TLS too,
    showing the TRUSTED server certificate unless told another (UseCertificate)."""

    def __init__(self, site_url, port=0, folder=None, certificates=None):
        self.FSiteUrl = site_url
        self.FFolder = folder
        self.FCertificates = certificates
        self.FCertificate = TRUSTED
        self.FRoutes = {}
        self.FRequests = []
        self.FHandshakes = []
        self.FProxyLogon = None
        self.FTunnels = []
        self.FLock = threading.Lock()
        self.FServer = _TServer(("127.0.0.1", port), _THandler)
        self.FServer.Owner = self
        self.FThread = threading.Thread(target=self.FServer.serve_forever, args=(0.05,),
                                        daemon=True)
        self.FThread.start()

    @property
    def Port(self):
        return self.FServer.server_address[1]

    @property
    def ProxyUrl(self):
        return "http://127.0.0.1:%d" % self.Port

    def Url(self, name):
        """An absolute URL, or a name below the site base URL."""
        return name if "://" in name else self.FSiteUrl + name

    def Route(self, name, response):
        with self.FLock:
            self.FRoutes[NormalUrl(self.Url(name))] = response

    def ResponseFor(self, url):
        with self.FLock:
            response = self.FRoutes.get(url)
        return response or self.FileResponse(url) or Status(404, NOT_FOUND_PAGE)

    def FileResponse(self, url):
        if self.FFolder is None:
            return None
        names = urllib.parse.unquote(urllib.parse.urlsplit(url).path).split("/")
        if ".." in names:
            return None
        path = os.path.join(self.FFolder, *[name for name in names if name])
        if not os.path.isfile(path):
            return None
        with open(path, "rb") as content:
            return TResponse(Body=content.read())

    def RequireProxyLogon(self, user, password):
        """From now on a request made of it as a proxy must carry these Basic credentials in its
        Proxy-Authorization, or it is answered 407."""
        token = base64.b64encode(("%s:%s" % (user, password)).encode()).decode()
        with self.FLock:
            self.FProxyLogon = "Basic " + token

    def RecordTunnel(self, logon):
        with self.FLock:
            self.FTunnels.append(logon)

    def Tunnels(self):
        """The Proxy-Authorization (None: none) of every tunnel asked for so far."""
        with self.FLock:
            return list(self.FTunnels)

    def WantsProxyLogon(self, headers):
        with self.FLock:
            wanted = self.FProxyLogon
        return wanted is not None and headers.get("Proxy-Authorization") != wanted

    def SpeaksTls(self):
        return self.FCertificates is not None

    def UseCertificate(self, kind):
        """Shows the server certificate of that authority (harness.certificates) from now on."""
        with self.FLock:
            self.FCertificate = kind

    def ServeTls(self, connection, client_address, server):
        """The TLS server side on `connection`, then its requests as any others. A handshake the
        client refuses (a certificate it does not trust) ends the connection."""
        with self.FLock:
            kind = self.FCertificate
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*ChainAndKey(self.FCertificates, kind))
        try:
            secure = context.wrap_socket(connection, server_side=True)
        except (ssl.SSLError, OSError):
            self.RecordHandshake(kind, False)
            return
        self.RecordHandshake(kind, True)
        try:
            _TTlsHandler(secure, client_address, server)
        finally:
            secure.close()

    def RecordHandshake(self, kind, completed):
        with self.FLock:
            self.FHandshakes.append((kind, completed))

    def Handshakes(self):
        """(certificate kind, completed) of every TLS handshake so far."""
        with self.FLock:
            return list(self.FHandshakes)

    def Record(self, request):
        with self.FLock:
            self.FRequests.append(request)

    def Requests(self):
        with self.FLock:
            return list(self.FRequests)

    def RequestedUrls(self):
        return [request.Url for request in self.Requests()]

    def Stop(self):
        self.FServer.shutdown()
        self.FServer.server_close()
        self.FThread.join(timeout=5)
