"""Behind a proxy that wants a logon, as company networks have: the typical update runs through it,
WinINet answering its 407 with the credentials of the proxy setting (Wine takes them from the
user:password of http_proxy), each request asked first without them. The https build's tunnels are
not logged on to, since a 407 to a tunnel may be the site's own. A site that then asks for a
logon of its own gets none of the user's, only a name of nobody's, and its archive is not
obtained."""

import base64
import os
import unittest

from harness import messages
from harness.case import TE2ECase
from harness.codepage import ConsoleLines
from harness.content import MakeArchive, ReleasePage
from harness.dialogs import EndNotice
from harness.environment import HTTPS
from harness.http_server import Archive, Page, TResponse

USER, PASSWORD = "taro", "kaisha-2026"
RELEASE_DATA = os.urandom(24000)
RELEASE = MakeArchive([("zelk.dat", RELEASE_DATA, (2024, 3, 1, 9, 30, 0))])


class TProxyLogonCase(TE2ECase):
    def setUp(self):
        super().setUp()
        self.Server.RequireProxyLogon(USER, PASSWORD)
        self.Env = {"http_proxy": "http://%s:%s@127.0.0.1:%d" % (USER, PASSWORD,
                                                                self.Server.Port)}
        self.Installation.AddStandIn("ZELK.EXE")

    @staticmethod
    def Logon():
        return Basic(USER, PASSWORD)


class TProxyLogonTest(TProxyLogonCase):
    def testTheTypicalUpdateRunsThroughAProxyThatWantsALogon(self):
        self.Server.Route("vum_zelk.html", Page(ReleasePage("zip/zelk32_156.zip")))
        self.Server.Route("zip/zelk32_156.zip", Archive(RELEASE))
        result = self.RunUpdater(answers=["yes"], env=self.Env)
        page_url = self.Server.Url("vum_zelk.html")
        archive_url = self.Server.Url("zip/zelk32_156.zip")
        self.AssertConsole(result, ConsoleLines(
            *messages.Greeting(), messages.KEPT, *messages.PageFetch(page_url),
            *messages.Download(archive_url, len(RELEASE)), *messages.Installation()))
        # Each asked until the proxy had its logon, the last time with it: Wine asks once
        # without NO_AUTH before it answers the 407.
        requests = self.Server.Requests()
        for url in (page_url, archive_url):
            logons = [request.Headers.get("Proxy-Authorization") for request in requests
                      if request.Url == url]
            self.assertIn(len(logons), (2, 3))
            self.assertEqual(logons, [None] * (len(logons) - 1) + [self.Logon()])
        self.assertEqual([request.Url for request in requests][-1], archive_url)
        with open(self.Installation.File("zelk.dat"), "rb") as installed:
            self.assertEqual(installed.read(), RELEASE_DATA)
        self.StandIns.WaitForRecords("started")

    def testASiteThatWantsALogonGetsNoneOfTheUsers(self):
        url = self.Server.Url("zip/zelk32_156.zip")
        self.Server.Route(url, TResponse(Status=401,
                                         Headers=[("WWW-Authenticate", 'Basic realm="site"')]))
        result = self.RunUpdater(url, answers=["yes", "ok"], env=self.Env)
        self.AssertConsole(result, ConsoleLines(
            *messages.Greeting(), messages.KEPT, *messages.ArchiveArgument(url),
            messages.ArchiveFetchStart(url), messages.NOT_OBTAINED))
        self.assertEqual(result.Boxes[-1], EndNotice())
        # Through the proxy, the site's 401 was answered, with the name of nobody's that the
        # request carries for it (Wine answers Basic with it; it would answer NTLM with it too).
        requests = self.Server.Requests()
        self.assertEqual(requests[-1].Headers.get("Proxy-Authorization"), self.Logon())
        self.assertEqual([request.Headers.get("Authorization") for request in requests],
                         [None] * (len(requests) - 1) + [Basic("zelkupd", "zelkupd")])


class THttpsProxyLogonTest(TProxyLogonCase):
    """The build whose site is https: a 407 to its tunnel may be the site's own, from inside it,
    which Wine's WinINet, once logged on to the proxy, answers by asking for the tunnel again and
    again without end. So it is not answered, and each page is an error page."""

    BUILD = HTTPS

    def testAProxyThatWantsALogonForATunnelIsNotAnswered(self):
        self.Server.Route("vum_zelk.html", Page(ReleasePage("zip/zelk32_156.zip")))
        self.Server.Route("vum_scb.html", Page(ReleasePage("zip/zelk32_156.zip")))
        result = self.RunUpdater(answers=["ok"], env=self.Env)
        self.AssertConsole(result, ConsoleLines(
            *messages.Greeting(), messages.KEPT,
            messages.PageFetchStart(self.Server.Url("vum_zelk.html")),
            messages.PageFetchStart(self.Server.Url("vum_scb.html"))))
        self.assertEqual(result.Boxes, [EndNotice()])
        self.assertEqual(self.Server.Tunnels(), [None, None])


def Basic(user, password):
    return "Basic " + base64.b64encode(("%s:%s" % (user, password)).encode()).decode()


if __name__ == "__main__":
    unittest.main()
