"""The typical update without argument: the release page names a newer release, the user answers
Yes, the running ZELK closes, the archive is installed, recorded and disposed of, and ZELK starts
again. The installation side is checked lightly here; test files of its own cover it in depth."""

import os
import unittest

from harness import messages
from harness.case import TE2ECase
from harness.codepage import ConsoleLines
from harness.content import LocalTimeToEpoch, MakeArchive, ReleasePage
from harness.dialogs import Question
from harness.environment import OTHER_BITNESS, WindowsPath
from harness.http_server import Archive, Page
from harness.installation import REPLACEMENT_SUFFIX

README_TIME = (2024, 3, 1, 9, 30, 0)
RELEASE = [
    ("readme.txt", "ゼルク 156 の説明\r\n".encode("cp932"), README_TIME),
    ("doc/", b"", (2024, 3, 1, 9, 0, 0)),
    ("doc/history.txt", b"156: new\r\n" * 200, (2024, 2, 28, 18, 0, 2)),
    ("zelk.dat", os.urandom(24000), (2024, 3, 1, 9, 31, 58)),
]


class TTypicalRunTest(TE2ECase):
    def setUp(self):
        super().setUp()
        self.Archive = MakeArchive(RELEASE)
        self.Server.Route("vum_zelk.html", Page(ReleasePage("zip/zelk32_156.zip")))
        self.Server.Route("zip/zelk32_156.zip", Archive(self.Archive))
        self.Installation.AddStandIn("ZELK.EXE")
        self.Installation.WriteFile("readme.txt", b"old",
                                    mtime=LocalTimeToEpoch((2023, 1, 1, 0, 0, 0)))
        self.Installation.WriteFile("user.cfg", b"mine")

    def testNewerReleaseIsFetchedInstalledRecordedDeletedAndZelkStartedAgain(self):
        self.Installation.WriteSettings("[ZELK]\r\nPREV_FILE=zelk32_155.zip\r\nDELETE=1\r\n")
        running = self.StartStandIn("ZELK.EXE")

        result = self.RunUpdater(answers=["yes"])

        page_url = self.Server.Url("vum_zelk.html")
        archive_url = self.Server.Url("zip/zelk32_156.zip")
        self.AssertConsole(
            result,
            ConsoleLines(
                *messages.Greeting("zelk32_155.zip"),
                messages.DELETED,
                *messages.PageFetch(page_url),
                *messages.Download(archive_url, len(self.Archive)),
                *messages.Installation(),
            ),
        )
        self.assertGreater(len(self.Archive), 2 * messages.BLOCK_SIZE)  # a row of three marks
        self.assertEqual(
            result.Boxes,
            [Question("『 zelk32_156.zip 』が対象です.", "前回アップデートしたファイルよりも新しいです.",
                      default="yes")],
        )
        self.assertEqual(result.ExitCode, 0)
        self.assertEqual(result.Stderr, b"")
        self.assertEqual([request.Url for request in result.Requests], [page_url, archive_url])

        # Installed with the entries' times, the user's own file left alone.
        with open(self.Installation.File("readme.txt"), "rb") as readme:
            self.assertEqual(readme.read(), RELEASE[0][1])
        self.assertEqual(os.stat(self.Installation.File("readme.txt")).st_mtime,
                         LocalTimeToEpoch(README_TIME))
        with open(self.Installation.File("doc", "history.txt"), "rb") as history:
            self.assertEqual(history.read(), RELEASE[2][1])
        with open(self.Installation.File("user.cfg"), "rb") as user:
            self.assertEqual(user.read(), b"mine")

        # Recorded, the archive deleted as DELETE=1 says, nothing left of the transfer.
        self.assertEqual(self.Installation.SettingsBytes(),
                         b"[ZELK]\r\nPREV_FILE=zelk32_156.zip\r\nDELETE=1\r\n\r\n")
        self.assertFalse(os.path.exists(self.Installation.File("zelk32_156.zip")))
        part = self.Installation.File("zelk32_156.zip" + REPLACEMENT_SUFFIX)
        self.assertFalse(os.path.exists(part))

        # The running ZELK was asked to close, and a new one started in the installation.
        self.assertEqual(self.StandIns.WaitForRecords("exit")[0]["reason"], "closed")
        launched = self.StandIns.WaitForRecords("started", 2)[1]
        self.assertNotEqual(launched["pid"], running["pid"])
        self.assertEqual(launched["cwd"].upper(), WindowsPath(self.Installation.Path).upper())
        self.assertEqual(launched["exe"].upper(), self.Installation.WindowsPath("ZELK.EXE").upper())

    def testFirstUpdateCreatesTheSettingsFileAndKeepsTheArchive(self):
        # No settings file: no previous archive, so Yes is the default, and pressing it is enough.
        result = self.RunUpdater(answers=["default"])

        self.AssertConsole(
            result,
            ConsoleLines(
                *messages.Greeting(),
                messages.KEPT,
                *messages.PageFetch(self.Server.Url("vum_zelk.html")),
                *messages.Download(self.Server.Url("zip/zelk32_156.zip"), len(self.Archive)),
                *messages.Installation(),
            ),
        )
        self.assertEqual(result.Boxes, [Question("『 zelk32_156.zip 』が対象です.", default="yes")])
        self.assertEqual(result.Answers, ["yes"])
        self.assertEqual(result.ExitCode, 0)
        self.assertEqual(self.Installation.SettingsBytes(),
                         b"[ZELK]\r\nPREV_FILE=zelk32_156.zip\r\n\r\n")
        with open(self.Installation.File("zelk32_156.zip"), "rb") as kept:
            self.assertEqual(kept.read(), self.Archive)
        self.StandIns.WaitForRecords("started")



class TOtherBitnessTypicalRunTest(TTypicalRunTest):
    """The same runs beside a ZELK of the other bitness: the shipped 32-bit updater on a 64-bit
    Windows meets the 64-bit ZELK, whose module list it cannot read."""

    STAND_IN = OTHER_BITNESS

if __name__ == "__main__":
    unittest.main()
