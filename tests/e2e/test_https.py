"""HTTPS under WinINet's own certificate check: the prefix trusts the tests' authority
(harness/certificates.py) and nothing else of theirs. An https archive URL of a server with a
trusted certificate for its name is fetched and installed; a server whose certificate chains to no
trusted root, or which is reached by a name its certificate does not hold, gives
"取得出来ませんでした." without a single request, and the installation stays as it was. An https
archive or release page that a redirect takes to an http URL is not obtained either, while an
http archive URL redirected to https installs. A build whose site URL is https runs the typical
update through a tunnel that its proxy, the test's server, ends in its own TLS side."""

import os
import unittest

import test_typical_run
from harness import messages
from harness.certificates import TRUSTED, UNTRUSTED
from harness.content import MakeArchive, ReleasePage
from harness.dialogs import EndNotice, Question
from harness.environment import HTTPS
from harness.http_server import Archive, Page, Redirect
from harness.installing import (CLOSED, CLOSING, DELETE, LAUNCH, PREV_FILE, Greeting,
                                DownloadLines, TInstallingCase)

RELEASE_DATA = os.urandom(25000)
RELEASE = MakeArchive([("zelk.dat", RELEASE_DATA, (2024, 3, 1, 9, 30, 0))])
NEWER = Question("『 zelk32_156.zip 』が対象です.", "前回アップデートしたファイルよりも新しいです.",
                 default="yes")
# Straight to the server's own port, as to any https site, rather than through the proxy.
NO_PROXY = {"http_proxy": ""}


class THttpsArchiveUrlTest(TInstallingCase):
    def Url(self, host):
        return "https://%s:%d/zip/zelk32_156.zip" % (host, self.Server.Port)

    def testArchiveUrlOfATrustedServerIsDownloadedAndInstalled(self):
        self.WriteSettings(delete_mode=1)
        url = self.Url("localhost")
        self.Server.Route(url, Archive(RELEASE))
        result = self.RunUpdater(url, answers=["yes"], env=NO_PROXY)
        self.AssertConsoleLines(result, *Greeting(PREV_FILE, DELETE), *DownloadLines(url),
                                CLOSING, CLOSED, LAUNCH)
        self.assertEqual(result.Boxes, [NEWER])
        self.assertEqual([request.Url for request in result.Requests], [url])
        self.assertIn((TRUSTED, True), self.Server.Handshakes())
        with open(self.Installation.File("zelk.dat"), "rb") as installed:
            self.assertEqual(installed.read(), RELEASE_DATA)
        self.assertEqual(self.Installation.SettingsBytes(),
                         b"[ZELK]\r\nPREV_FILE=zelk32_156.zip\r\nDELETE=1\r\n\r\n")
        self.assertFalse(os.path.exists(self.Installation.File("zelk32_156.zip")))
        self.AssertZelkLaunched()

    def testAServerWithoutATrustedCertificateForItsNameIsNotObtained(self):
        self.WriteSettings(delete_mode=1)
        before = self.Installation.Snapshot()
        for certificate, host in ((UNTRUSTED, "localhost"), (TRUSTED, "127.0.0.1")):
            with self.subTest(certificate=certificate, host=host):
                self.Server.UseCertificate(certificate)
                url = self.Url(host)
                self.Server.Route(url, Archive(RELEASE))
                handshakes = len(self.Server.Handshakes())
                result = self.RunUpdater(url, answers=["yes", "ok"], env=NO_PROXY)
                self.AssertConsoleLines(result, *Greeting(PREV_FILE, DELETE),
                                        *messages.ArchiveArgument(url),
                                        messages.ArchiveFetchStart(url), messages.NOT_OBTAINED)
                self.assertEqual(result.Boxes, [NEWER, EndNotice()])
                self.assertGreater(len(self.Server.Handshakes()), handshakes)
                self.assertEqual(result.Requests, [])
                self.assertEqual(self.Installation.Snapshot(), before)
        self.AssertZelkNotLaunched()


class TRedirectBetweenSchemesTest(TInstallingCase):
    """A redirect from https to http would hand the transfer to anyone on the path; one from http
    to https only makes it safer."""

    def Url(self, scheme):
        return "%s://localhost:%d/zip/zelk32_156.zip" % (scheme, self.Server.Port)

    def testAnHttpsArchiveRedirectedToHttpIsNotObtained(self):
        self.WriteSettings(delete_mode=1)
        before = self.Installation.Snapshot()
        url, target = self.Url("https"), self.Url("http")
        self.Server.Route(url, Redirect(target, status=302))
        self.Server.Route(target, Archive(RELEASE))
        result = self.RunUpdater(url, answers=["yes", "ok"], env=NO_PROXY)
        self.AssertConsoleLines(result, *Greeting(PREV_FILE, DELETE),
                                *messages.ArchiveArgument(url), messages.ArchiveFetchStart(url),
                                messages.NOT_OBTAINED)
        self.assertEqual(result.Boxes, [NEWER, EndNotice()])
        self.assertEqual(self.Installation.Snapshot(), before)
        self.AssertZelkNotLaunched()

    def testAnHttpArchiveRedirectedToHttpsIsInstalled(self):
        self.WriteSettings(delete_mode=1)
        url, target = self.Url("http"), self.Url("https")
        self.Server.Route(url, Redirect(target, status=302))
        self.Server.Route(target, Archive(RELEASE))
        result = self.RunUpdater(url, answers=["yes"], env=NO_PROXY)
        self.AssertConsoleLines(result, *Greeting(PREV_FILE, DELETE), *DownloadLines(url),
                                CLOSING, CLOSED, LAUNCH)
        self.assertEqual([request.Url for request in result.Requests], [url, target])
        with open(self.Installation.File("zelk.dat"), "rb") as installed:
            self.assertEqual(installed.read(), RELEASE_DATA)
        self.AssertZelkLaunched()


class THttpsSiteRedirectTest(TInstallingCase):
    """The https build's release pages, each redirected to an http page that names a release."""

    BUILD = HTTPS

    def testAReleasePageRedirectedToHttpIsNotObtained(self):
        self.WriteSettings(delete_mode=1)
        before = self.Installation.Snapshot()
        moved = "http://localhost/zelk/moved.html"
        self.Server.Route(moved, Page(ReleasePage("zip/zelk32_156.zip")))
        lines = []
        for name in ("vum_zelk.html", "vum_scb.html"):
            self.Server.Route(name, Redirect(moved, status=301))
            lines += [messages.PageFetchStart(self.Server.Url(name)), messages.NOT_OBTAINED]
        result = self.RunUpdater(answers=["ok"])
        self.AssertConsoleLines(result, *Greeting(PREV_FILE, DELETE), *lines)
        self.assertEqual(result.Boxes, [EndNotice()])
        self.assertEqual(self.Installation.Snapshot(), before)


class THttpsSiteTypicalRunTest(test_typical_run.TTypicalRunTest):
    """The typical update, word for word, by a build whose site is https://localhost/zelk/."""

    BUILD = HTTPS


if __name__ == "__main__":
    unittest.main()
