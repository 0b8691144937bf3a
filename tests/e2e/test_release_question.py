"""The download question of a run without argument, as the user sees it: its text and default
button for an archive that is newer, older, the same as last time, a beta, already downloaded, or
the first one; Cancel there ends the run at once and leaves everything as it was."""

import os
import unittest

from harness import messages
from harness.case import TE2ECase
from harness.codepage import ConsoleLines
from harness.content import MakeArchive, ReleasePage
from harness.dialogs import Question
from harness.http_server import Archive, Page
from harness.installation import REPLACEMENT_SUFFIX

RELEASE = MakeArchive([("readme.txt", b"zelk 156\r\n", (2024, 3, 1, 9, 30, 0))])


class TReleaseQuestionTest(TE2ECase):
    def Ask(self, prev_file, new_file):
        """Runs without argument against a release page naming `new_file`, with `prev_file` as the
        last archive installed (None: no settings file), and cancels at the question. Returns the
        question box, once the run has shown that Cancel changed and fetched nothing."""
        if prev_file is not None:
            self.Installation.WriteSettings("[ZELK]\r\nPREV_FILE=%s\r\n" % prev_file)
        self.Server.Route("vum_zelk.html", Page(ReleasePage("zip/" + new_file)))
        before = self.Installation.Snapshot()
        result = self.RunUpdater(answers=["cancel"])
        page = self.Server.Url("vum_zelk.html")
        self.AssertConsole(
            result,
            ConsoleLines(*messages.Greeting(prev_file or None), messages.KEPT,
                         *messages.PageFetch(page)),
        )
        self.assertEqual(len(result.Boxes), 1)  # no end notice after a Cancel
        self.assertEqual(result.ExitCode, 0)
        self.assertEqual(result.Stderr, b"")
        self.assertEqual([request.Url for request in result.Requests], [page])
        self.assertEqual(self.Installation.Snapshot(), before)
        return result.Boxes[0]

    def testNewer(self):
        self.assertEqual(
            self.Ask("zelk32_155.zip", "zelk32_156.zip"),
            Question("『 zelk32_156.zip 』が対象です.", "前回アップデートしたファイルよりも新しいです.",
                     default="yes"),
        )

    def testOlder(self):
        self.assertEqual(
            self.Ask("zelk32_157.zip", "zelk32_156.zip"),
            Question("『 zelk32_156.zip 』が対象です.", "前回アップデートしたファイルよりも古いです.",
                     default="no"),
        )

    def testSameAsLastTimeInAnotherLetterCase(self):
        self.assertEqual(
            self.Ask("ZELK32_156.ZIP", "zelk32_156.zip"),
            Question("『 zelk32_156.zip 』が対象です.", "前回アップデートしたファイルと同じです.",
                     default="no"),
        )

    def testBetaOfANewerRelease(self):
        self.assertEqual(
            self.Ask("zelk32_156.zip", "zelk32_157ba.zip"),
            Question("『 zelk32_157ba.zip 』が対象です.", "!!!　これはβテスト版です　!!!",
                     "前回アップデートしたファイルよりも新しいです.", default="yes"),
        )

    def testNoPreviousArchive(self):
        self.assertEqual(self.Ask(None, "zelk32_156.zip"),
                         Question("『 zelk32_156.zip 』が対象です.", default="yes"))

    def testEmptyPreviousArchiveCountsAsNone(self):
        self.assertEqual(self.Ask("", "zelk32_156.zip"),
                         Question("『 zelk32_156.zip 』が対象です.", default="yes"))

    def testArchiveAlreadyDownloadedWinsOverTheSameAsLastTime(self):
        self.Installation.WriteFile("zelk32_156.zip", b"an earlier download")
        self.assertEqual(
            self.Ask("zelk32_156.zip", "zelk32_156.zip"),
            Question("『 zelk32_156.zip 』が対象です.", "既にローカルにも存在しています.", default="no"),
        )

    def testYesFetchesAnArchiveAlreadyDownloadedAgainOverTheOldFile(self):
        self.Installation.WriteSettings("[ZELK]\r\nPREV_FILE=zelk32_156.zip\r\n")
        self.Installation.WriteFile("zelk32_156.zip", b"an earlier download, longer than it" * 2000)
        self.Server.Route("vum_zelk.html", Page(ReleasePage("zip/zelk32_156.zip")))
        self.Server.Route("zip/zelk32_156.zip", Archive(RELEASE))
        result = self.RunUpdater(answers=["yes"])
        self.assertEqual(result.Boxes, [
            Question("『 zelk32_156.zip 』が対象です.", "既にローカルにも存在しています.", default="no")])
        self.AssertConsole(
            result,
            ConsoleLines(*messages.Greeting("zelk32_156.zip"), messages.KEPT,
                         *messages.PageFetch(self.Server.Url("vum_zelk.html")),
                         *messages.Download(self.Server.Url("zip/zelk32_156.zip"), len(RELEASE)),
                         *messages.Installation()),
        )
        with open(self.Installation.File("zelk32_156.zip"), "rb") as fetched:
            self.assertEqual(fetched.read(), RELEASE)
        part = self.Installation.File("zelk32_156.zip" + REPLACEMENT_SUFFIX)
        self.assertFalse(os.path.exists(part))


if __name__ == "__main__":
    unittest.main()
