"""An update killed part-way through its extraction is put back by the next start of the updater:
the installation is the old one again, byte for byte and time for time, and no backup is left."""

import os
import signal
import time
import unittest
import zipfile

from harness.content import MakeArchive
from harness.environment import WindowsPath
from harness.installing import Greeting, TInstallingCase

FILES = 1500
STAMP = (2024, 5, 17, 9, 30, 0)
RESTORED = "前回中断したアップデートを元に戻しました."


def Name(number):
    return "lib/part%04d.dat" % number


class TInterruptedUpdateTest(TInstallingCase):
    def setUp(self):
        super().setUp()
        for number in range(FILES):
            self.Installation.WriteFile(Name(number), b"old %d " % number * 500, mtime=1.6e9)
        self.Installation.WriteSettings("[ZELK]\r\nPREV_FILE=zelk32_155.zip\r\n")

    def Changed(self):
        """How many files already hold the new release (one may be away in the backup)."""
        count = 0
        for number in range(FILES):
            try:
                with open(self.Installation.File(*Name(number).split("/")), "rb") as part:
                    count += part.read(4) == b"new "
            except FileNotFoundError:
                pass
        return count

    def KillDuringExtraction(self, archive):
        """Starts a run installing `archive` and kills its processes once the attempt has replaced
        some files but not all; the number replaced."""
        log = os.path.join(self.WorkDir, "killed.log")
        arguments = self.HelperArguments(log, (), "file", None, 60)
        arguments += ["--", WindowsPath(self.Installation.UpdaterPath), archive]
        with open(os.path.join(self.WorkDir, "killed.out"), "wb") as output:
            process = self.StartHelper(arguments, output, output, None, None)
        journal = self.Installation.File("ZELKUPD.BAK", "JOURNAL")
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            if os.path.exists(journal) and 0 < self.Changed() < FILES:
                os.killpg(process.Group, signal.SIGKILL)
                process.Wait(10)
                return self.Changed()
            time.sleep(0.005)
        self.fail("the attempt was never seen part-way")

    def testTheNextStartPutsBackTheOldInstallationBeforeItsGreeting(self):
        before = self.Installation.Snapshot()
        data = MakeArchive([(Name(n), b"new %d " % n * 500, STAMP) for n in range(FILES)],
                           compression=zipfile.ZIP_STORED)
        archive = self.WriteLocalArchive(data)

        replaced = self.KillDuringExtraction(archive)
        self.assertTrue(0 < replaced < FILES, replaced)
        self.assertTrue(os.path.isdir(self.Installation.File("ZELKUPD.BAK")))

        missing = WindowsPath(os.path.join(self.WorkDir, "missing.zip"))
        result = self.RunUpdater(missing, answers=("ok",))
        self.AssertConsoleLines(result, RESTORED, *Greeting("zelk32_155.zip"),
                                "ローカルのアーカイブファイルが指定されました.",
                                "指定ファイル " + missing + " が存在しません.")
        self.assertEqual(result.ExitCode, 0)
        self.assertEqual(self.Installation.Snapshot(), before)
        self.assertFalse(os.path.exists(self.Installation.File("ZELKUPD.BAK")))


if __name__ == "__main__":
    unittest.main()
