"""A second run started while an update installs meets the install as a file in use: it says
nothing about an interrupted update, its own attempts fail without changing anything, it leaves
the start of ZELK to the first run, and the first run's install ends whole."""

import os
import time
import unittest
import zipfile

from harness.content import MakeArchive
from harness.environment import WindowsPath
from harness.dialogs import EndNotice
from harness.installing import (CLOSED, CLOSING, LOCAL_ARCHIVE, FailedExtractionLines, Greeting,
                                TInstallingCase)

FILES = 1500
STAMP = (2024, 5, 17, 9, 30, 0)
HELD = "別のアップデートが実行中です. ゼルク の起動はそちらに任せます."


def Name(number):
    return "lib/part%04d.dat" % number


class TSecondRunTest(TInstallingCase):
    def setUp(self):
        super().setUp()
        for number in range(FILES):
            self.Installation.WriteFile(Name(number), b"old %d " % number * 500, mtime=1.6e9)
        self.Installation.WriteSettings("[ZELK]\r\nPREV_FILE=zelk32_155.zip\r\n")

    def StartFirstRun(self, data):
        """A run installing `data`, once its install has begun."""
        archive = self.WriteLocalArchive(data)
        log = os.path.join(self.WorkDir, "first.log")
        arguments = self.HelperArguments(log, (), "file", None, 120)
        arguments += ["--", WindowsPath(self.Installation.UpdaterPath), archive]
        with open(os.path.join(self.WorkDir, "first.out"), "wb") as output:
            first = self.StartHelper(arguments, output, output, None, None)
        backup = self.Installation.File("ZELKUPD.BAK")
        deadline = time.monotonic() + 60
        while not os.path.isdir(backup) and time.monotonic() < deadline:
            time.sleep(0.005)
        self.assertTrue(os.path.isdir(backup), "the first run never began its install")
        return first

    def testASecondRunDuringAnInstallSaysNothingOfIt(self):
        data = MakeArchive([(Name(n), b"new %d " % n * 500, STAMP) for n in range(FILES)],
                           compression=zipfile.ZIP_STORED)
        first = self.StartFirstRun(data)

        missing = WindowsPath(os.path.join(self.WorkDir, "missing.zip"))
        second = self.RunUpdater(missing, answers=("ok",))
        self.AssertConsoleLines(second, *Greeting("zelk32_155.zip"), LOCAL_ARCHIVE,
                                "指定ファイル " + missing + " が存在しません.")
        first.Wait(120)

    def testASecondRunThatMeetsTheInstallLeavesTheStartOfZelkToIt(self):
        # Long enough an install that the second run's six attempts all meet it.
        data = MakeArchive([(Name(n), b"new %d " % n * 2000, STAMP) for n in range(FILES)],
                           compression=zipfile.ZIP_STORED)
        first = self.StartFirstRun(data)
        lock = self.Installation.File("ZELKUPD.BAK", "LOCK")

        # The same release, from a file of its own: the first run holds its archive.
        archive = self.WriteLocalArchive(data, "zelk32_156_copy.zip")
        second = self.RunUpdater(archive, answers=("ok",))
        self.AssertConsoleLines(second, *Greeting("zelk32_155.zip"), LOCAL_ARCHIVE, CLOSING,
                                CLOSED, *FailedExtractionLines(archive)[:-1], HELD)
        self.assertEqual(second.Boxes, [EndNotice()])
        self.assertEqual(second.ExitCode, 0)
        # A ZELK the second run started would log its start within a second.
        time.sleep(1.5)
        launched = self.LaunchedZelk()
        self.assertTrue(os.path.exists(lock), "the first run's install ended too soon to tell")
        self.assertEqual(launched, [])

        self.assertEqual(first.Wait(120), 0)
        self.AssertZelkLaunched()
        with open(self.Installation.File(*Name(FILES - 1).split("/")), "rb") as last:
            self.assertEqual(last.read(), b"new %d " % (FILES - 1) * 2000)


if __name__ == "__main__":
    unittest.main()
