"""A server or release page that tries to defeat the download's rules. A length announced past
what 32 or 64 bits hold, of which only the first bytes come, is refused before any byte is read,
and an earlier archive of that name stays byte for byte. A link or an archive URL argument whose
name would carry a fragment or an escaped path onto the wire, or a DEL into the folder, is never
requested: the page names no release, the argument is read as a page, and nothing is installed."""

import os
import unittest

from harness import messages
from harness.case import TE2ECase
from harness.codepage import ConsoleLines
from harness.content import MakeArchive, ReleasePage
from harness.dialogs import EndNotice, Question
from harness.http_server import Archive, CutShort, Page

NAME = "zelk32_156.zip"
RELEASE = MakeArchive([("zelk.dat", os.urandom(30000), (2024, 3, 1, 9, 30, 0))])
EARLIER = MakeArchive([("zelk.dat", b"earlier", (2024, 1, 1, 0, 0, 0))])
PRESENT = Question("『 zelk32_156.zip 』が対象です.", "既にローカルにも存在しています.", default="no")


class THostileServerTest(TE2ECase):
    def AssertRequested(self, result, *urls):
        """The server was asked for exactly these URLs, and no request carried a fragment or an
        escape: the page's or the argument's never reached it."""
        self.assertEqual([request.Url for request in result.Requests], list(urls),
                         self.Describe(result))
        self.assertEqual([request.Target for request in result.Requests
                          if "#" in request.Target or "%" in request.Target], [])

    def testALengthPastWhat32Or64BitsHoldIsRefusedAndTheEarlierArchiveStays(self):
        # Read in 32 bits, or parsed in 64 bits that wrap, each length is 100: what is sent.
        self.Installation.WriteFile(NAME, EARLIER)
        before = self.Installation.Snapshot()
        url = self.Server.Url("zip/" + NAME)
        for announced in (2**32 + 100, 2**64 + 100):
            with self.subTest(announced=announced):
                self.Server.Route(url, CutShort(RELEASE[:100], announced=announced))
                result = self.RunUpdater(url, answers=["yes", "ok"])
                self.AssertConsole(result, ConsoleLines(
                    *messages.Greeting(), messages.KEPT, *messages.ArchiveArgument(url),
                    messages.ArchiveFetchStart(url), messages.NOT_OBTAINED))
                self.assertEqual(result.Boxes, [PRESENT, EndNotice()])
                self.assertEqual(self.Installation.Snapshot(), before)
                with open(self.Installation.File(NAME), "rb") as kept:
                    self.assertEqual(kept.read(), EARLIER)

    def testALinkWithAFragmentAnEscapedPathOrADelIsNeverRequested(self):
        # The server answers the archive for any of these, as one that drops a fragment or
        # decodes "%2f" would. The folder refuses DEL in a name.
        before = self.Installation.Snapshot()
        first, second = self.Server.Url("vum_zelk.html"), self.Server.Url("vum_scb.html")
        for link in ("zip/" + NAME + "#.zip", "zip/..%2f..%2f" + NAME, "zip/zelk32_156\x7f.zip"):
            with self.subTest(link=link):
                self.Server.Route("zip/" + NAME, Archive(RELEASE))
                self.Server.Route(link, Archive(RELEASE))
                for page in (first, second):
                    self.Server.Route(page, Page(ReleasePage(link)))
                result = self.RunUpdater(answers=["ok"])
                self.AssertRequested(result, first, second)
                self.AssertConsole(result, ConsoleLines(
                    *messages.Greeting(), messages.KEPT, *messages.PageFetch(first),
                    messages.NO_INFORMATION, *messages.PageFetch(second),
                    messages.NO_INFORMATION))
                self.assertEqual(result.Boxes, [EndNotice()])
                self.assertEqual(self.Installation.Snapshot(), before)

    def testAnArchiveUrlWithAFragmentIsReadAsAPage(self):
        # Its last segment names the archive, but what is asked for is evil.zip.
        before = self.Installation.Snapshot()
        self.Server.Route("evil.zip", Archive(RELEASE))
        argument = self.Server.Url("evil.zip#/" + NAME)
        result = self.RunUpdater(argument, answers=["ok"])
        self.AssertRequested(result, self.Server.Url("evil.zip"))
        self.AssertConsole(result, ConsoleLines(
            *messages.Greeting(), messages.KEPT, messages.PAGE_ARGUMENT,
            *messages.PageFetch(argument), messages.NO_INFORMATION))
        self.assertEqual(result.Boxes, [EndNotice()])
        self.assertEqual(self.Installation.Snapshot(), before)


if __name__ == "__main__":
    unittest.main()
