"""The release search: without argument the release page is read first and the second release page
once, after the first could not be read, named no archive or had its archive declined; a page
named on the command line is read alone."""

import unittest

from harness import messages
from harness.case import TE2ECase
from harness.codepage import ConsoleLines
from harness.content import ReleasePage
from harness.dialogs import EndNotice, Question
from harness.http_server import DroppedAtOnce, Page, Status

SETTINGS = "[ZELK]\r\nPREV_FILE=zelk32_155.zip\r\n"
NEWER = Question("『 zelk32_156.zip 』が対象です.", "前回アップデートしたファイルよりも新しいです.",
                 default="yes")
BETA = Question("『 zelk32_157b1.zip 』が対象です.", "!!!　これはβテスト版です　!!!",
                "前回アップデートしたファイルよりも新しいです.", default="yes")
# The marker in another letter case is no marker.
WITHOUT_MARKER = ReleasePage("zip/zelk32_156.zip", marker=b'ID="$ZELK32$"')


class TReleaseSearchCase(TE2ECase):
    def setUp(self):
        super().setUp()
        self.Installation.WriteSettings(SETTINGS)
        self.Before = self.Installation.Snapshot()
        self.FirstPage = self.Server.Url("vum_zelk.html")
        self.SecondPage = self.Server.Url("vum_scb.html")

    def RequestedUrls(self, result):
        return [request.Url for request in result.Requests]

    def AssertNothingChanged(self, result):
        self.assertEqual(result.ExitCode, 0)
        self.assertEqual(result.Stderr, b"")
        self.assertEqual(self.Installation.Snapshot(), self.Before)


class TFallBackTest(TReleaseSearchCase):
    def setUp(self):
        super().setUp()
        self.Server.Route("vum_scb.html", Page(ReleasePage("zip/zelk32_156.zip")))

    def AssertSecondPageAsked(self, result, *first_page_lines):
        self.AssertConsole(
            result,
            ConsoleLines(*messages.Greeting("zelk32_155.zip"), messages.KEPT, *first_page_lines,
                         *messages.PageFetch(self.SecondPage)),
        )
        self.assertEqual(result.Boxes, [NEWER])
        self.assertEqual(self.RequestedUrls(result), [self.FirstPage, self.SecondPage])
        self.AssertNothingChanged(result)

    def testEmptyReleasePageFallsBackSilently(self):
        self.Server.Route("vum_zelk.html", Page(b""))
        result = self.RunUpdater(answers=["cancel"])
        self.AssertSecondPageAsked(result, messages.PageFetchStart(self.FirstPage))

    def testReleasePageThatCannotBeOpenedFallsBack(self):
        # A connection reset before any answer: WinINet either fails the open (reported) or opens
        # a request that delivers nothing (silent), as it pleases; both fall back.
        self.Server.Route("vum_zelk.html", DroppedAtOnce())
        result = self.RunUpdater(answers=["cancel"])
        expected = [
            ConsoleLines(*messages.Greeting("zelk32_155.zip"), messages.KEPT, *lines,
                         *messages.PageFetch(self.SecondPage))
            for lines in ((messages.PageFetchStart(self.FirstPage), messages.NOT_OBTAINED),
                          (messages.PageFetchStart(self.FirstPage),))
        ]
        self.assertIn(result.Stdout, expected, self.Describe(result))
        self.assertEqual(result.Boxes, [NEWER])
        self.AssertNothingChanged(result)

    def testErrorPageIsReadAsAPageWithoutTheMarker(self):
        self.Server.Route("vum_zelk.html", Status(404, b"<html><body>Not Found</body></html>"))
        result = self.RunUpdater(answers=["cancel"])
        self.AssertSecondPageAsked(result, *messages.PageFetch(self.FirstPage),
                                   messages.NO_INFORMATION)

    def testDeclinedArchiveFallsBackOnceThenEndsWithTheNotice(self):
        self.Server.Route("vum_zelk.html", Page(ReleasePage("zip/zelk32_156.zip")))
        self.Server.Route("vum_scb.html", Page(ReleasePage("zip/zelk32_157b1.zip")))
        result = self.RunUpdater(answers=["no", "no", "ok"])
        self.AssertConsole(
            result,
            ConsoleLines(*messages.Greeting("zelk32_155.zip"), messages.KEPT,
                         *messages.PageFetch(self.FirstPage), messages.LEFT,
                         *messages.PageFetch(self.SecondPage), messages.LEFT),
        )
        self.assertEqual(result.Boxes, [NEWER, BETA, EndNotice()])
        self.assertEqual(self.RequestedUrls(result), [self.FirstPage, self.SecondPage])
        self.AssertNothingChanged(result)

    def testNeitherPageNamingAnArchiveEndsWithTheNotice(self):
        self.Server.Route("vum_zelk.html", Page(WITHOUT_MARKER))
        self.Server.Route("vum_scb.html", Page(WITHOUT_MARKER))
        result = self.RunUpdater(answers=["ok"])
        self.AssertConsole(
            result,
            ConsoleLines(*messages.Greeting("zelk32_155.zip"), messages.KEPT,
                         *messages.PageFetch(self.FirstPage), messages.NO_INFORMATION,
                         *messages.PageFetch(self.SecondPage), messages.NO_INFORMATION),
        )
        self.assertEqual(result.Boxes, [EndNotice()])
        self.assertEqual(self.RequestedUrls(result), [self.FirstPage, self.SecondPage])
        self.AssertNothingChanged(result)


class TPageArgumentTest(TReleaseSearchCase):
    """A page named on the command line: whatever becomes of it, the second page is never read."""

    def setUp(self):
        super().setUp()
        self.Server.Route("vum_scb.html", Page(ReleasePage("zip/zelk32_157.zip")))
        self.Page = self.Server.Url("beta/index.html")

    def AssertEndedWithoutSecondPage(self, result, *lines):
        self.AssertConsole(
            result,
            ConsoleLines(*messages.Greeting("zelk32_155.zip"), messages.KEPT,
                         messages.PAGE_ARGUMENT, *lines),
        )
        self.assertEqual(result.Boxes[-1], EndNotice())
        self.assertEqual(self.RequestedUrls(result), [self.Page])
        self.AssertNothingChanged(result)

    def testPageWithoutTheMarker(self):
        self.Server.Route("beta/index.html", Page(WITHOUT_MARKER))
        result = self.RunUpdater(self.Page, answers=["ok"])
        self.AssertEndedWithoutSecondPage(result, *messages.PageFetch(self.Page),
                                          messages.NO_INFORMATION)

    def testEmptyPage(self):
        self.Server.Route("beta/index.html", Page(b""))
        result = self.RunUpdater(self.Page, answers=["ok"])
        self.AssertEndedWithoutSecondPage(result, messages.PageFetchStart(self.Page))

    def testDeclinedArchive(self):
        self.Server.Route("beta/index.html", Page(ReleasePage("zip/zelk32_156.zip")))
        result = self.RunUpdater(self.Page, answers=["no", "ok"])
        self.AssertEndedWithoutSecondPage(result, *messages.PageFetch(self.Page), messages.LEFT)
        self.assertEqual(result.Boxes[0], NEWER)


if __name__ == "__main__":
    unittest.main()
