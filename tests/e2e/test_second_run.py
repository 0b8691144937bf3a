"""A second run started while an update installs meets the install as a file in use: it says
nothing about an interrupted update, and the first run's install ends whole."""

import os
import time
import unittest
import zipfile

from harness.content import MakeArchive
from harness.environment import WindowsPath
from harness.installing import LOCAL_ARCHIVE, Greeting, TInstallingCase

FILES = 1500
STAMP = (2024, 5, 17, 9, 30, 0)


def Name(number):
    return "lib/part%04d.dat" % number


class TSecondRunTest(TInstallingCase):
    def setUp(self):
        super().setUp()
        for number in range(FILES):
            self.Installation.WriteFile(Name(number), b"old %d " % number * 500, mtime=1.6e9)
        self.Installation.WriteSettings("[ZELK]\r\nPREV_FILE=zelk32_155.zip\r\n")

    def testASecondRunDuringAnInstallSaysNothingOfIt(self):
        data = MakeArchive([(Name(n), b"new %d " % n * 500, STAMP) for n in range(FILES)],
                           compression=zipfile.ZIP_STORED)
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

        missing = WindowsPath(os.path.join(self.WorkDir, "missing.zip"))
        second = self.RunUpdater(missing, answers=("ok",))
        self.AssertConsoleLines(second, *Greeting("zelk32_155.zip"), LOCAL_ARCHIVE,
                                "指定ファイル " + missing + " が存在しません.")
        first.Wait(120)


if __name__ == "__main__":
    unittest.main()
