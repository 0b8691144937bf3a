"""Self-tests of the harness parts that need no Wine: the code page 932 bytes the console checks
rely on, the release pages and archives it makes, and the loopback server's routes and broken
transfers, spoken to the way WinINet speaks to its proxy."""

import io
import os
import socket
import tempfile
import time
import unittest
import zipfile

from harness.codepage import PINNED, ConsoleLines, Cp932
from harness.content import LocalTimeToEpoch, MakeArchive, ReleasePage
from harness.http_server import (
    CutShort,
    Dropped,
    DroppedAtOnce,
    LargePage,
    NormalUrl,
    Page,
    Redirect,
    Slow,
    Status,
    TLoopbackServer,
)

SITE = "http://zelk.invalid/"


class TCodePageTest(unittest.TestCase):
    def testPinnedCharactersHaveTheirWindowsBytes(self):
        for text, data in PINNED.items():
            with self.subTest(text=text):
                self.assertEqual(Cp932(text), data)

    def testConsoleLinesEndInCarriageReturnLineFeed(self):
        self.assertEqual(ConsoleLines("取得完了.", ""),
                         b"\x8e\xe6\x93\xbe\x8a\xae\x97\xb9.\r\n\r\n")


class TContentTest(unittest.TestCase):
    def testLocalTimeIsJapanTime(self):
        # What Wine's SystemTimeToFileTime and LocalFileTimeToFileTime give with TZ=JST-9.
        self.assertEqual(LocalTimeToEpoch((2024, 1, 15, 12, 0, 0)), 1705287600)

    def testReleasePageHasTheLinkRightAfterTheMarker(self):
        page = ReleasePage("zip/zelk32_156.zip")
        self.assertIn(b'<a id="$zelk32$" href="zip/zelk32_156.zip">', page)
        self.assertNotIn(b"$zelk32$", ReleasePage("zip/zelk32_156.zip", marker=b'id="other"'))

    def testArchiveKeepsEntryOrderTimesAndFolders(self):
        data = MakeArchive([("doc/", b"", (2020, 2, 29, 23, 59, 58)),
                            ("doc/readme.txt", b"read me" * 100, (2021, 7, 1, 8, 30, 0)),
                            ("ZELK.EXE", b"MZ", (1980, 1, 1, 0, 0, 0))])
        with zipfile.ZipFile(io.BytesIO(data)) as archive:
            entries = [(i.filename, i.date_time, i.compress_type) for i in archive.infolist()]
            self.assertEqual(archive.read("doc/readme.txt"), b"read me" * 100)
        self.assertEqual(entries, [("doc/", (2020, 2, 29, 23, 59, 58), zipfile.ZIP_STORED),
                                   ("doc/readme.txt", (2021, 7, 1, 8, 30, 0), zipfile.ZIP_DEFLATED),
                                   ("ZELK.EXE", (1980, 1, 1, 0, 0, 0), zipfile.ZIP_DEFLATED)])


class TLoopbackServerTest(unittest.TestCase):
    def setUp(self):
        self.Server = TLoopbackServer(SITE)
        self.addCleanup(self.Server.Stop)

    def Exchange(self, request_line, host="zelk.invalid"):
        """Sends one request as a proxy client does and returns (head, body, reset) once the
        server has closed the connection."""
        with socket.create_connection(("127.0.0.1", self.Server.Port), timeout=10) as connection:
            request = "%s HTTP/1.1\r\nHost: %s\r\nAccept: */*\r\n\r\n" % (request_line, host)
            connection.sendall(request.encode())
            data, reset = b"", False
            try:
                for block in iter(lambda: connection.recv(65536), b""):
                    data += block
            except ConnectionResetError:
                reset = True
        head, _, body = data.partition(b"\r\n\r\n")
        return head.decode("latin-1"), body, reset

    def testRoutesBelowTheSiteAnswerAbsoluteAndOriginFormRequests(self):
        self.Server.Route("vum_zelk.html", Page(b"<html>release</html>"))
        self.Server.Route("http://example.test:8080/other.zip", Status(200, b"zip"))
        head, body, _ = self.Exchange("GET http://ZELK.invalid:80/vum_zelk.html")
        self.assertTrue(head.startswith("HTTP/1.1 200 "), head)
        self.assertIn("Content-Length: 20", head)
        self.assertEqual(body, b"<html>release</html>")
        self.assertEqual(self.Exchange("GET /vum_zelk.html")[1], b"<html>release</html>")
        self.assertEqual(self.Exchange("GET http://example.test:8080/other.zip")[1], b"zip")
        requests = self.Server.Requests()
        self.assertEqual(
            self.Server.RequestedUrls(),
            [SITE + "vum_zelk.html", SITE + "vum_zelk.html", "http://example.test:8080/other.zip"],
        )
        self.assertEqual([request.AbsoluteForm for request in requests], [True, False, True])
        self.assertEqual(requests[0].Path, "/vum_zelk.html")

    def testUnroutedUrlsAnswer404WithABody(self):
        head, body, _ = self.Exchange("GET http://zelk.invalid/vum_scb.html")
        self.assertTrue(head.startswith("HTTP/1.1 404 "), head)
        self.assertIn(b"404", body)

    def testErrorStatusesAndRedirects(self):
        self.Server.Route("broken.zip", Status(500, b"oops"))
        self.Server.Route("moved.zip", Redirect(SITE + "new.zip"))
        head, body, _ = self.Exchange("GET http://zelk.invalid/broken.zip")
        self.assertTrue(head.startswith("HTTP/1.1 500 "), head)
        self.assertEqual(body, b"oops")
        head, body, _ = self.Exchange("GET http://zelk.invalid/moved.zip")
        self.assertTrue(head.startswith("HTTP/1.1 301 "), head)
        self.assertIn("Location: http://zelk.invalid/new.zip", head)
        self.assertEqual(body, b"")

    def testBodyCutShortAnnouncesMoreThanItSends(self):
        self.Server.Route("short.zip", CutShort(b"x" * 1000, announced=5000))
        head, body, reset = self.Exchange("GET http://zelk.invalid/short.zip")
        self.assertIn("Content-Length: 5000", head)
        self.assertEqual((body, reset), (b"x" * 1000, False))

    def testDroppedConnectionsResetPartWayOrAtOnce(self):
        self.Server.Route("dropped.zip", Dropped(b"y" * 30000, after=12000))
        self.Server.Route("gone.zip", DroppedAtOnce())
        head, body, reset = self.Exchange("GET http://zelk.invalid/dropped.zip")
        self.assertIn("Content-Length: 30000", head)
        self.assertTrue(reset or len(body) == 12000)
        self.assertLessEqual(len(body), 12000)
        self.assertEqual(self.Exchange("GET http://zelk.invalid/gone.zip")[:2], ("", b""))

    def testSlowAnswersTakeTheirTime(self):
        self.Server.Route("slow.html", Slow(b"z" * 300, delay=0.3, block_delay=0.1, block_size=100))
        start = time.monotonic()
        body = self.Exchange("GET http://zelk.invalid/slow.html")[1]
        self.assertGreaterEqual(time.monotonic() - start, 0.5)
        self.assertEqual(body, b"z" * 300)

    def testLargePagesEndWithTheirEnding(self):
        ending = b'<a id="$zelk32$" href="x.zip">'
        self.Server.Route("vum_zelk.html", LargePage(100000, ending=ending))
        body = self.Exchange("GET http://zelk.invalid/vum_zelk.html")[1]
        self.assertEqual(len(body), 100000)
        self.assertTrue(body.endswith(ending))

    def testFolderAnswersUnroutedUrlsWithItsFilesButNothingAboveIt(self):
        with tempfile.TemporaryDirectory() as folder:
            os.makedirs(os.path.join(folder, "zip"))
            with open(os.path.join(folder, "zip", "zelk32_156.zip"), "wb") as archive:
                archive.write(b"PK")
            server = TLoopbackServer(SITE, folder=os.path.join(folder, "zip"))
            self.addCleanup(server.Stop)
            self.Server = server
            self.assertEqual(self.Exchange("GET http://zelk.invalid/zelk32_156.zip")[1], b"PK")
            for request in ("GET http://zelk.invalid/../zip/zelk32_156.zip",
                            "GET http://zelk.invalid/missing.zip"):
                self.assertTrue(self.Exchange(request)[0].startswith("HTTP/1.1 404 "), request)

    def testNormalUrlDropsTheDefaultPortAndLowersSchemeAndHost(self):
        self.assertEqual(NormalUrl("HTTP://Zelk.Invalid:80/A/b.ZIP"), "http://zelk.invalid/A/b.ZIP")
        self.assertEqual(NormalUrl("http://127.0.0.1:8080"), "http://127.0.0.1:8080/")
        self.assertEqual(NormalUrl("HTTPS://LocalHost:443/zelk/"), "https://localhost/zelk/")
        self.assertEqual(NormalUrl("https://localhost:80/"), "https://localhost:80/")


if __name__ == "__main__":
    unittest.main()
