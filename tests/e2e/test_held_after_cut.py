"""An update killed while its files take their places, then ZELK started by the user before the
next start of the updater, holding installed files open as a running program does. Whatever the
next start does, every file ends all old or all new once nothing holds them any more."""

import os
import signal
import time
import unittest
import zipfile

from harness.content import LocalTimeToEpoch, MakeArchive
from harness.environment import WindowsPath
from harness.installing import TInstallingCase

FILES = 1500
STAMP = (2024, 5, 17, 9, 30, 0)


def Name(number):
    return "lib/part%04d.dat" % number


def Old(number):
    return b"old %d " % number * 500


def New(number):
    return b"new %d " % number * 500


class THeldAfterCutTest(TInstallingCase):
    def setUp(self):
        super().setUp()
        self.Installation.WriteSettings("[ZELK]\r\nPREV_FILE=zelk32_155.zip\r\n")
        self.Names = [Name(n) for n in range(FILES)]
        for number, name in enumerate(self.Names):
            self.Installation.WriteFile(name, Old(number), mtime=1.6e9)
        data = MakeArchive([(name, New(n), STAMP) for n, name in enumerate(self.Names)],
                           compression=zipfile.ZIP_STORED)
        self.Archive = self.WriteLocalArchive(data)

    def Content(self, number):
        with open(self.Installation.File(*Name(number).split("/")), "rb") as part:
            return part.read()

    def Versions(self):
        """How many files hold the old bytes and how many the new (one may be away)."""
        old = new = 0
        for number in range(FILES):
            try:
                content = self.Content(number)
            except FileNotFoundError:
                continue
            old += content == Old(number)
            new += content == New(number)
        return old, new

    def KillWhilePlacing(self, ready):
        """Starts a run installing the archive and kills it once its journal is at its name and
        `ready()` holds."""
        journal = self.Installation.File("ZELKUPD.BAK", "JOURNAL")
        log = os.path.join(self.WorkDir, "killed.log")
        arguments = self.HelperArguments(log, (), "file", None, 60)
        arguments += ["--", WindowsPath(self.Installation.UpdaterPath), self.Archive]
        with open(os.path.join(self.WorkDir, "killed.out"), "wb") as output:
            process = self.StartHelper(arguments, output, output, None, None)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            if os.path.exists(journal) and ready():
                os.killpg(process.Group, signal.SIGKILL)
                process.Wait(10)
                return
            time.sleep(0.005)
        self.fail("the attempt was never seen placing its files")

    def Hold(self, name, number, share):
        """A program of the user's holding file `number` open, sharing `share` only."""
        path = self.Installation.File(*Name(number).split("/"))
        started = self.StartStandIn(name, folder=self.WorkDir, window="none", lock=path,
                                    share=share, lifetime_ms=600000)
        locked = self.StandIns.WaitForRecords("locked", 1, os.path.splitext(name)[0])
        self.assertEqual(len(locked), 1)
        return started

    def LetGo(self, *names):
        self.StandIns.Quit()
        for name in names:
            self.StandIns.WaitForRecords("exit", 1, name)
        time.sleep(1.0)

    def Start(self):
        missing = WindowsPath(os.path.join(self.WorkDir, "missing.zip"))
        result = self.RunUpdater(missing, answers=("ok",))
        self.assertEqual(result.ExitCode, 0)
        return result

    def AssertAllOldOrAllNew(self):
        old, new = self.Versions()
        self.assertTrue(old == FILES or new == FILES,
                        "%d files old and %d new, of %d" % (old, new, FILES))
        self.assertFalse(os.path.exists(self.Installation.File("ZELKUPD.BAK")))

    def testAnOldFileHeldWithoutSharingIsNotLeftOldAmongTheNew(self):
        """The next start cannot read the held old file to prove it is the one the plan found:
        that is no proof it is the user's, and the journal stays until it can be read."""
        last = FILES - 1
        self.KillWhilePlacing(lambda: 0 < self.Versions()[1] < FILES // 2)
        self.assertEqual(self.Content(last), Old(last))
        self.Hold("locker.exe", last, "none")
        self.Start()
        self.LetGo("locker")
        self.Start()
        self.AssertAllOldOrAllNew()

    def testNoOldFileGoesWhileANewFileIsHeldWithoutSharing(self):
        """The next start cannot finish now (the old file held sharing reading cannot be put
        aside) nor read the held new file: it changes course for neither, and no old file goes."""
        placed = 0
        last = FILES - 1
        self.KillWhilePlacing(lambda: 1 < self.Versions()[1] < FILES // 2)
        self.assertEqual(self.Content(placed), New(placed))
        self.assertEqual(self.Content(last), Old(last))
        # The new file that took its place, held without sharing: nobody can read it. The old
        # file not reached yet, held sharing reading only: nobody can rename it.
        self.Hold("locker.exe", placed, "none")
        self.Hold("holder.exe", last, "read")
        self.Start()
        self.LetGo("locker", "holder")
        self.Start()
        self.AssertAllOldOrAllNew()

    def testAnUnchangedFileHeldForReadingGetsTheReleasesTime(self):
        """The release leaves the last file's bytes as they are: the attempt only stamps it. ZELK
        reads that file when the next start comes, and its sharing refuses the stamp: the
        journal stays until the stamp can be given."""
        last = FILES - 1
        entries = [(name, New(n), STAMP) for n, name in enumerate(self.Names[:last])]
        entries.append((Name(last), Old(last), STAMP))
        self.Archive = self.WriteLocalArchive(MakeArchive(entries, compression=zipfile.ZIP_STORED))
        self.KillWhilePlacing(lambda: 0 < self.Versions()[1] < FILES // 2)
        path = self.Installation.File(*Name(last).split("/"))
        self.assertEqual(os.stat(path).st_mtime, 1.6e9)
        self.Hold("reader.exe", last, "read")
        self.Start()
        self.LetGo("reader")
        self.Start()
        stamp = LocalTimeToEpoch(STAMP)
        stale = [name for name in self.Names
                 if os.stat(self.Installation.File(*name.split("/"))).st_mtime != stamp]
        self.assertEqual(stale, [])
        self.assertFalse(os.path.exists(self.Installation.File("ZELKUPD.BAK")))


if __name__ == "__main__":
    unittest.main()
