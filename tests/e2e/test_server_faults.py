"""A release server that misbehaves while the archive or the page is fetched: the connection
reset part-way or before any answer, error statuses, a redirect, one to itself for ever
(followed ten times, no more), a very slow answer, a server that answers nothing at all, and
release pages of several megabytes. A transfer that did not arrive whole is no download: the
earlier archive keeps its bytes, no part file stays behind, the installation and the settings
are untouched and the run ends with the end notice. A slow but whole answer installs as any
other; a server that stays silent is not obtained once the receive timeout is over. A page is
searched in its first MiB only."""

import os
import random
import re
import time
import unittest

from harness.case import TE2ECase
from harness.codepage import ConsoleLines, Cp932
from harness.content import MakeArchive, ReleasePage
from harness.dialogs import EndNotice, Question
from harness.http_server import (Archive, Dropped, DroppedAtOnce, LargePage, Redirect, Silent,
                                 Slow, Status)
from harness.installation import REPLACEMENT_SUFFIX

SETTINGS = "[ZELK]\r\nPREV_FILE=zelk32_155.zip\r\n"
GREETING = ("『 zelk32_155.zip 』が前回アップデートしたファイルです.",
            "ゼルク のアップデートを試みます.", "", "ダウンロードしたアーカイブは保持されます.")
ARCHIVE_NAME = "zelk32_156.zip"
ENTRY_TIME = (2021, 7, 15, 13, 45, 58)
# Four blocks and more of data that does not compress, so a transfer can break in its middle.
ARCHIVE = MakeArchive([("doc/readme.txt", b"new readme", ENTRY_TIME),
                       ("doc/data.bin", random.Random(156).randbytes(45000), ENTRY_TIME)])
EARLIER_ARCHIVE = b"an earlier complete download of the same name"
NOT_OBTAINED = "取得出来ませんでした."


class TArchiveTransferFaultTest(TE2ECase):
    def setUp(self):
        super().setUp()
        self.Installation.WriteSettings(SETTINGS)
        self.Installation.WriteFile("doc/readme.txt", b"old readme")
        self.Url = self.Server.Url("zip/" + ARCHIVE_NAME)

    def Fetch(self, response, earlier_archive=False):
        """A run with the archive URL answered by `response`, Yes to the question and OK to the
        end notice, from an installation whose download folder (the installation itself) may
        already hold an archive of that name."""
        if earlier_archive:
            self.Installation.WriteFile(ARCHIVE_NAME, EARLIER_ARCHIVE)
        self.Server.Route(self.Url, response)
        self.Before = self.Installation.Snapshot()
        result = self.RunUpdater(self.Url, answers=["yes", "ok"])
        second = ("既にローカルにも存在しています." if earlier_archive
                  else "前回アップデートしたファイルよりも新しいです.")
        default = "no" if earlier_archive else "yes"
        self.assertEqual(result.Boxes, [Question("『 %s 』が対象です." % ARCHIVE_NAME, second,
                                                 default=default), EndNotice()])
        self.assertEqual(result.ExitCode, 0)
        self.assertEqual(result.Stderr, b"")
        return result

    def Start(self):
        return ConsoleLines(*GREETING, "サーバ上のアーカイブファイルが指定されました.",
                            "　→ " + self.Url, self.Url + " を取得中...")

    def AssertUntouched(self):
        """Nothing installed, no part file, the settings and any earlier archive as they were."""
        self.assertEqual(self.Installation.Snapshot(), self.Before)
        self.assertEqual(self.Installation.SettingsBytes(), Cp932(SETTINGS))
        self.assertFalse(os.path.exists(self.Installation.File(ARCHIVE_NAME + REPLACEMENT_SUFFIX)))

    def testAConnectionResetPartWayKeepsTheEarlierArchive(self):
        # A reset throws away what the client has not yet taken in, so the server waits before
        # it: without that, a loaded machine could see the reset before the first block.
        result = self.Fetch(Dropped(ARCHIVE, after=len(ARCHIVE) // 2, reset_delay=1.0),
                            earlier_archive=True)
        # How many blocks came before the reset is WinINet's affair: one mark for each.
        pattern = (re.escape(self.Start()) + rb"#+\r\n"
                   + re.escape(ConsoleLines(NOT_OBTAINED)) + rb"\Z")
        self.assertRegex(result.Stdout, pattern, self.Describe(result))
        self.AssertUntouched()
        with open(self.Installation.File(ARCHIVE_NAME), "rb") as archive:
            self.assertEqual(archive.read(), EARLIER_ARCHIVE)

    def testAConnectionResetBeforeAnyAnswerIsNotObtained(self):
        result = self.Fetch(DroppedAtOnce())
        self.AssertConsole(result, self.Start() + ConsoleLines(NOT_OBTAINED))
        self.AssertUntouched()

    def testErrorStatusesCreateNoFile(self):
        for status in (500, 404):
            with self.subTest(status=status):
                result = self.Fetch(Status(status, b"<html><body>error</body></html>"))
                self.AssertConsole(result, self.Start() + ConsoleLines(NOT_OBTAINED))
                self.AssertUntouched()
                self.assertEqual([request.Url for request in result.Requests], [self.Url])

    def testARedirectToNoArchiveIsNotObtained(self):
        # The redirect is followed; the status that counts is its target's.
        missing = self.Server.Url("zip/moved/" + ARCHIVE_NAME)
        result = self.Fetch(Redirect(missing, status=301))
        self.AssertConsole(result, self.Start() + ConsoleLines(NOT_OBTAINED))
        self.AssertUntouched()
        self.assertEqual([request.Url for request in result.Requests], [self.Url, missing])

    def testAnEndlessChainOfRedirectsIsNotObtained(self):
        # Each redirect is a request of the updater's own, and it follows ten at the most.
        result = self.Fetch(Redirect(self.Url, status=302))
        self.AssertConsole(result, self.Start() + ConsoleLines(NOT_OBTAINED))
        self.AssertUntouched()
        self.assertEqual([request.Url for request in result.Requests], [self.Url] * 11)

    def testASilentServerIsNotObtainedOnceTheReceiveTimeoutIsOver(self):
        started = time.monotonic()
        result = self.Fetch(Silent())
        print("a silent server was given up after %.1f s" % (time.monotonic() - started))
        self.AssertConsole(result, self.Start() + ConsoleLines(NOT_OBTAINED))
        self.AssertUntouched()

    def testAVerySlowAnswerIsWaitedForAndInstalled(self):
        self.Installation.AddStandIn("ZELK.EXE")
        self.Server.Route(self.Url, Slow(ARCHIVE, delay=3.0, block_delay=0.4, block_size=4096))
        result = self.RunUpdater(self.Url, answers=["yes"], timeout=90)
        self.assertEqual(result.ExitCode, 0)
        self.assertEqual(result.Boxes, [Question("『 %s 』が対象です." % ARCHIVE_NAME,
                                                 "前回アップデートしたファイルよりも新しいです.",
                                                 default="yes")])
        self.assertRegex(result.Stdout, re.escape(self.Start()) + rb"#+\r\n"
                         + re.escape(ConsoleLines("取得完了.")), self.Describe(result))
        with open(self.Installation.File("doc", "readme.txt"), "rb") as readme:
            self.assertEqual(readme.read(), b"new readme")
        with open(self.Installation.File(ARCHIVE_NAME), "rb") as archive:
            self.assertEqual(archive.read(), ARCHIVE)
        self.assertEqual(self.Installation.SettingsBytes(),
                         Cp932("[ZELK]\r\nPREV_FILE=%s\r\n\r\n" % ARCHIVE_NAME))
        self.StandIns.WaitForRecords("started")


class TLargeReleasePageTest(TE2ECase):
    PAGE_SIZE = 5 * 1024 * 1024

    def setUp(self):
        super().setUp()
        self.Installation.WriteSettings(SETTINGS)
        self.Before = self.Installation.Snapshot()

    def testALinkIsFoundAtTheEndOfTheFirstMebibyteAndNotAfterIt(self):
        ending = ReleasePage("zip/" + ARCHIVE_NAME)
        self.Server.Route("vum_zelk.html", LargePage(1024 * 1024, ending=ending))
        self.Server.Route("vum_scb.html", LargePage(self.PAGE_SIZE, ending=ending))
        result = self.RunUpdater(answers=["no", "ok"], timeout=90)
        page, second = self.Server.Url("vum_zelk.html"), self.Server.Url("vum_scb.html")
        self.AssertConsole(result, ConsoleLines(*GREETING, page + " の情報を取得中...",
                                                "取得完了.", "", "放置します.",
                                                second + " の情報を取得中...", "取得完了.", "",
                                                "ゼルク についての情報が見当たりません."))
        self.assertEqual(result.Boxes, [Question("『 %s 』が対象です." % ARCHIVE_NAME,
                                                 "前回アップデートしたファイルよりも新しいです.",
                                                 default="yes"), EndNotice()])
        self.assertEqual(result.ExitCode, 0)
        self.assertEqual(self.Installation.Snapshot(), self.Before)

    def testSeveralMegabytesWithoutTheMarkerFallBackToTheSecondPage(self):
        self.Server.Route("vum_zelk.html", LargePage(self.PAGE_SIZE))
        self.Server.Route("vum_scb.html", LargePage(self.PAGE_SIZE, filler=b"<p>scb</p>\r\n"))
        result = self.RunUpdater(answers=["ok"], timeout=90)
        lines = list(GREETING)
        for name in ("vum_zelk.html", "vum_scb.html"):
            lines += [self.Server.Url(name) + " の情報を取得中...", "取得完了.", "",
                      "ゼルク についての情報が見当たりません."]
        self.AssertConsole(result, ConsoleLines(*lines))
        self.assertEqual(result.Boxes, [EndNotice()])
        self.assertEqual(result.ExitCode, 0)
        self.assertEqual(self.Installation.Snapshot(), self.Before)


if __name__ == "__main__":
    unittest.main()
