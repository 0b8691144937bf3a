"""An update killed part-way through its installation is settled by the next start of the updater:
finished once its files had begun to take their places, and whatever the user did in between
(extracting the release by hand) is kept."""

import os
import signal
import time
import unittest
import zipfile

from harness.content import LocalTimeToEpoch, MakeArchive
from harness.environment import WindowsPath
from harness.installing import LOCAL_ARCHIVE, Greeting, TInstallingCase

FILES = 1500
STAMP = (2024, 5, 17, 9, 30, 0)
COMPLETED = "前回中断したアップデートを完了しました."


def Name(number):
    return "lib/part%04d.dat" % number


class TInterruptedUpdateTest(TInstallingCase):
    def setUp(self):
        super().setUp()
        self.Installation.WriteSettings("[ZELK]\r\nPREV_FILE=zelk32_155.zip\r\n")

    def Changed(self, names):
        """How many of the files already hold the new release (one may be away in the backup)."""
        count = 0
        for name in names:
            try:
                with open(self.Installation.File(*name.split("/")), "rb") as part:
                    count += part.read(4) == b"new "
            except FileNotFoundError:
                pass
        return count

    def KillWhen(self, archive, ready):
        """Starts a run installing `archive` and kills its processes once `ready()` holds."""
        log = os.path.join(self.WorkDir, "killed.log")
        arguments = self.HelperArguments(log, (), "file", None, 60)
        arguments += ["--", WindowsPath(self.Installation.UpdaterPath), archive]
        with open(os.path.join(self.WorkDir, "killed.out"), "wb") as output:
            process = self.StartHelper(arguments, output, output, None, None)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            if ready():
                os.killpg(process.Group, signal.SIGKILL)
                process.Wait(10)
                return
            time.sleep(0.005)
        self.fail("the attempt was never seen at that point")

    def StartAgain(self):
        missing = WindowsPath(os.path.join(self.WorkDir, "missing.zip"))
        result = self.RunUpdater(missing, answers=("ok",))
        self.assertEqual(result.ExitCode, 0)
        return result, (LOCAL_ARCHIVE, "指定ファイル " + missing + " が存在しません.")

    def testTheNextStartFinishesAnUpdateKilledWhileItsFilesTookTheirPlaces(self):
        names = [Name(n) for n in range(FILES)]
        for number, name in enumerate(names):
            self.Installation.WriteFile(name, b"old %d " % number * 500, mtime=1.6e9)
        data = MakeArchive([(name, b"new %d " % n * 500, STAMP) for n, name in enumerate(names)],
                           compression=zipfile.ZIP_STORED)
        archive = self.WriteLocalArchive(data)
        journal = self.Installation.File("ZELKUPD.BAK", "JOURNAL")
        self.KillWhen(archive, lambda: os.path.exists(journal) and 0 < self.Changed(names) < FILES)
        self.assertTrue(0 < self.Changed(names) < FILES)

        result, lines = self.StartAgain()
        self.AssertConsoleLines(result, COMPLETED, *Greeting("zelk32_155.zip"), *lines)
        self.assertEqual(self.Changed(names), FILES)
        self.assertFalse(os.path.exists(self.Installation.File("ZELKUPD.BAK")))

    def testAReleaseExtractedByHandAfterAKillStaysInstalled(self):
        replaced = ["doc/file%03d.txt" % n for n in range(FILES // 2)]
        added = ["new/file%03d.txt" % n for n in range(FILES // 2)]
        for number, name in enumerate(replaced):
            self.Installation.WriteFile(name, b"old %d " % number * 500, mtime=1.6e9)
        entries = [(name, b"new %d " % n * 600, STAMP) for n, name in enumerate(replaced + added)]
        archive = self.WriteLocalArchive(MakeArchive(entries, compression=zipfile.ZIP_STORED))
        journal = self.Installation.File("ZELKUPD.BAK", "JOURNAL")
        names = replaced + added
        self.KillWhen(archive, lambda: os.path.exists(journal) and 0 < self.Changed(names) < FILES)

        # What the user does on seeing the update half done: any unzip tool keeps the times.
        with zipfile.ZipFile(os.path.join(self.WorkDir, "dl", "zelk32_156.zip")) as release:
            for info in release.infolist():
                path = self.Installation.WriteFile(info.filename, release.read(info))
                stamp = LocalTimeToEpoch(info.date_time)
                os.utime(path, (stamp, stamp))
        extracted = self.Installation.Snapshot()

        result, lines = self.StartAgain()
        self.AssertConsoleLines(result, COMPLETED, *Greeting("zelk32_155.zip"), *lines)
        after = self.Installation.Snapshot()
        for name, _, _ in entries:
            self.assertEqual(after[name], extracted[name], name)
        self.assertEqual(self.Changed(names), FILES)
        self.assertFalse(os.path.exists(self.Installation.File("ZELKUPD.BAK")))


if __name__ == "__main__":
    unittest.main()
