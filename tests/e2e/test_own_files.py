"""A release that carries the updater's own files: the running zelkupd.exe, changed or not, is
installed like any other file (the running one is renamed aside, and the next start, the new
updater, removes it), and the user's settings file stays as it is."""

import os
import unittest

from harness.content import LocalTimeToEpoch, MakeArchive
from harness.environment import WindowsPath
from harness.installation import SETTINGS_NAME
from harness.installing import CLOSED, CLOSING, LAUNCH, LOCAL_ARCHIVE, PREV_FILE, Greeting, \
    TInstallingCase

STAMP = (2024, 5, 17, 9, 30, 0)
USER_SETTINGS = "[ZELK]\r\nPREV_FILE=%s\r\nDELETE=0\r\n; the user's own line\r\n" % PREV_FILE


class TOwnFilesTest(TInstallingCase):
    def setUp(self):
        super().setUp()
        with open(self.Installation.UpdaterPath, "rb") as updater:
            self.FUpdater = updater.read()

    def Install(self, entries):
        """A run that installs the entries from a local archive; it must install them."""
        archive = self.WriteLocalArchive(MakeArchive(entries))
        result = self.RunUpdater(archive)
        self.AssertConsoleLines(result, *Greeting(PREV_FILE), LOCAL_ARCHIVE, CLOSING, CLOSED,
                                LAUNCH)
        self.assertEqual(result.ExitCode, 0)
        self.AssertZelkLaunched()
        return result

    def StartAgain(self):
        missing = WindowsPath(os.path.join(self.WorkDir, "missing.zip"))
        result = self.RunUpdater(missing, answers=("ok",))
        self.AssertConsoleLines(result, *Greeting(PREV_FILE), LOCAL_ARCHIVE,
                                "指定ファイル " + missing + " が存在しません.")
        self.assertEqual(result.ExitCode, 0)

    def Read(self, name):
        with open(self.Installation.File(name), "rb") as installed:
            return installed.read()

    def testANewUpdaterIsInstalledAndTheNextStartLeavesNothingOfTheOld(self):
        self.Installation.WriteSettings(USER_SETTINGS)
        # Bytes after the image change the file, not the program: the new one runs as well.
        new = self.FUpdater + b"\0release 156"
        self.Install([("zelkupd.exe", new, STAMP), ("zelk.dat", b"release 156", STAMP)])
        self.assertEqual(self.Read("zelkupd.exe"), new)
        self.assertEqual(self.Read("zelk.dat"), b"release 156")
        self.assertEqual(os.stat(self.Installation.UpdaterPath).st_mtime, LocalTimeToEpoch(STAMP))
        backup = self.Installation.File("ZELKUPD.BAK")
        left = sorted(os.listdir(backup)) if os.path.isdir(backup) else []
        self.assertTrue(all(name.endswith(".DEL") for name in left), left)

        self.StartAgain()
        self.assertFalse(os.path.exists(backup))
        self.assertEqual(self.Read("zelkupd.exe"), new)

    def testAnUnchangedUpdaterIsOnlyStamped(self):
        self.Installation.WriteSettings(USER_SETTINGS)
        self.Install([("zelkupd.exe", self.FUpdater, STAMP), ("zelk.dat", b"release 156", STAMP)])
        self.assertEqual(self.Read("zelkupd.exe"), self.FUpdater)
        self.assertEqual(os.stat(self.Installation.UpdaterPath).st_mtime, LocalTimeToEpoch(STAMP))
        self.assertEqual(self.Read("zelk.dat"), b"release 156")
        self.assertFalse(os.path.exists(self.Installation.File("ZELKUPD.BAK")))

    def testTheUsersSettingsFileIsKept(self):
        self.Installation.WriteSettings(USER_SETTINGS)
        settings = self.Installation.SettingsBytes()
        self.Install([(SETTINGS_NAME, b"[ZELK]\r\nDELETE=1\r\n", STAMP),
                      ("zelk.dat", b"release 156", STAMP)])
        self.assertEqual(self.Installation.SettingsBytes(), settings)
        self.assertEqual(self.Read("zelk.dat"), b"release 156")


if __name__ == "__main__":
    unittest.main()
