"""What becomes of a downloaded archive once it is installed: DELETE=2 moves it to Wine's recycle
bin (the test's own XDG_DATA_HOME/Trash), DELETE=1 deletes it, DELETE=0 keeps it; each run records
the archive as PREV_FILE and starts ZELK."""

import os
import unittest
import urllib.parse

from harness.content import MakeArchive
from harness.dialogs import CAPTION
from harness.installing import (CLOSED, CLOSING, DELETE, KEEP, LAUNCH, PREV_FILE, RECYCLE,
                                DownloadLines, Greeting, TInstallingCase)

RELEASE = [("zelk.dat", b"release 156", (2024, 5, 17, 9, 30, 12))]
ARCHIVE_NAME = "zelk32_156.zip"


class TDisposalTest(TInstallingCase):
    def Install(self, delete_mode, disposal):
        """A whole update with that DELETE mode; the archive's bytes."""
        self.WriteSettings(delete_mode)
        data = MakeArchive(RELEASE)
        result, url = self.InstallDownloadedArchive(data, ARCHIVE_NAME)
        self.AssertConsoleLines(result, *Greeting(PREV_FILE, disposal), *DownloadLines(url),
                                CLOSING, CLOSED, LAUNCH)
        self.assertEqual(len(result.Boxes), 1)
        self.assertEqual(result.ExitCode, 0)
        self.assertEqual(result.Stderr, b"")
        self.assertEqual(self.Installation.SettingsBytes(),
                         b"[ZELK]\r\nPREV_FILE=%s\r\nDELETE=%d\r\n\r\n"
                         % (ARCHIVE_NAME.encode(), delete_mode))
        with open(self.Installation.File("zelk.dat"), "rb") as installed:
            self.assertEqual(installed.read(), b"release 156")
        self.AssertZelkLaunched()
        return data

    def Trash(self, part):
        """The names in the recycle bin's "files" or "info" folder."""
        folder = os.path.join(self.TrashHome, "Trash", part)
        return sorted(os.listdir(folder)) if os.path.isdir(folder) else []

    def testRecycleMovesTheArchiveToTheRecycleBin(self):
        data = self.Install(2, RECYCLE)
        self.assertFalse(os.path.exists(self.Installation.File(ARCHIVE_NAME)))
        self.assertEqual(self.Trash("files"), [ARCHIVE_NAME])
        with open(os.path.join(self.TrashHome, "Trash", "files", ARCHIVE_NAME), "rb") as trashed:
            self.assertEqual(trashed.read(), data)
        self.assertEqual(self.Trash("info"), [ARCHIVE_NAME + ".trashinfo"])
        with open(os.path.join(self.TrashHome, "Trash", "info", ARCHIVE_NAME + ".trashinfo"),
                  encoding="utf-8") as info:
            fields = dict(line.split("=", 1) for line in info.read().splitlines() if "=" in line)
        self.assertEqual(urllib.parse.unquote(fields["Path"]),
                         self.Installation.File(ARCHIVE_NAME))

    def testDeleteRemovesTheArchiveForGood(self):
        self.Install(1, DELETE)
        self.assertFalse(os.path.exists(self.Installation.File(ARCHIVE_NAME)))
        self.assertEqual(self.Trash("files"), [])

    def testKeepLeavesTheArchiveInTheDownloadFolder(self):
        data = self.Install(0, KEEP)
        with open(self.Installation.File(ARCHIVE_NAME), "rb") as kept:
            self.assertEqual(kept.read(), data)
        self.assertEqual(self.Trash("files"), [])


class TMissingRecycleBinTest(TInstallingCase):
    """Without a data folder Wine has no recycle bin, and the shell asks whether to delete the
    archive for good instead (FOF_WANTNUKEWARNING)."""

    def Install(self, answer):
        self.WriteSettings(2)
        missing = os.path.join(self.WorkDir, "no-data")
        result, url = self.InstallDownloadedArchive(MakeArchive(RELEASE), ARCHIVE_NAME,
                                                    answers=("yes", answer),
                                                    env={"XDG_DATA_HOME": missing})
        self.assertEqual(len(result.Boxes), 2)
        self.assertNotEqual(result.Boxes[1].Caption, CAPTION)  # the shell's own question
        self.assertEqual(result.Boxes[1].Buttons, ("yes", "no"))
        # Neither answer is a failure to report: No is the user's cancel, Yes a deletion done.
        self.AssertConsoleLines(result, *Greeting(PREV_FILE, RECYCLE), *DownloadLines(url),
                                CLOSING, CLOSED, LAUNCH)
        self.assertEqual(result.ExitCode, 0)
        self.assertEqual(self.Installation.SettingsBytes(),
                         b"[ZELK]\r\nPREV_FILE=%s\r\nDELETE=2\r\n\r\n" % ARCHIVE_NAME.encode())
        self.AssertZelkLaunched()
        self.assertFalse(os.path.exists(missing))

    def testNoToDeletingForGoodKeepsTheArchiveSilently(self):
        self.Install("no")
        self.assertTrue(os.path.exists(self.Installation.File(ARCHIVE_NAME)))

    def testYesToDeletingForGoodDeletesTheArchive(self):
        self.Install("yes")
        self.assertFalse(os.path.exists(self.Installation.File(ARCHIVE_NAME)))


if __name__ == "__main__":
    unittest.main()
