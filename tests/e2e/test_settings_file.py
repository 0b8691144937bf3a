"""A settings file that another program holds open: held without any sharing it cannot even be
read, and the run ends before its first line; held with read sharing only it is read but cannot be
replaced, and a run that installed an archive ends at the write, before the archive is disposed of
and before ZELK is started. Both end with exit code 1 and the report on standard error."""

import os
import unittest

from harness.content import MakeArchive
from harness.installation import REPLACEMENT_SUFFIX, SETTINGS_NAME
from harness.installing import (CLOSED, CLOSING, PREV_FILE, RECYCLE, DownloadLines, Greeting,
                                TInstallingCase)
from test_uncaught_error import ReportPattern

RELEASE = [("zelk.dat", b"release 156", (2024, 5, 17, 9, 30, 12))]
ARCHIVE_NAME = "zelk32_156.zip"
# The system's text of the cause, a sharing violation (error 32), ends the message.
SHARING_VIOLATION = "共有違反です。"


class TSettingsFileInUseTest(TInstallingCase):
    def HoldSettings(self, share):
        self.StartStandIn("locker.exe", folder=self.WorkDir, window="none",
                          lock=self.Installation.File(SETTINGS_NAME), share=share)
        self.assertEqual(len(self.StandIns.RecordsOf("locked", "locker")), 1)

    def testSettingsThatCannotBeReplacedEndTheRunBeforeDisposalAndLaunch(self):
        settings = self.WriteSettings(2)
        self.HoldSettings("read")
        result, url = self.InstallDownloadedArchive(MakeArchive(RELEASE), ARCHIVE_NAME)
        self.AssertConsoleLines(result, *Greeting(PREV_FILE, RECYCLE), *DownloadLines(url),
                                CLOSING, CLOSED)
        path = self.Installation.WindowsPath(SETTINGS_NAME)
        self.assertRegex(result.Stderr, ReportPattern(
            "EFCreateError", 'ファイル "' + path + '" を作成できません。' + SHARING_VIOLATION))
        self.assertEqual(result.ExitCode, 1)
        self.assertEqual(len(result.Boxes), 1)  # the question; no end notice
        with open(self.Installation.File("zelk.dat"), "rb") as installed:
            self.assertEqual(installed.read(), b"release 156")
        self.assertEqual(self.Installation.SettingsBytes(), settings)
        self.assertFalse(os.path.exists(self.Installation.File(SETTINGS_NAME + REPLACEMENT_SUFFIX)))
        self.assertTrue(os.path.exists(self.Installation.File(ARCHIVE_NAME)))
        self.assertFalse(os.path.exists(os.path.join(self.TrashHome, "Trash", "files",
                                                     ARCHIVE_NAME)))
        self.AssertZelkNotLaunched()

    def testSettingsHeldWithoutSharingEndTheRunBeforeItsFirstLine(self):
        settings = self.WriteSettings(2)
        self.HoldSettings("none")
        result = self.RunUpdater()
        path = self.Installation.WindowsPath(SETTINGS_NAME)
        self.assertRegex(result.Stderr, ReportPattern(
            "EFOpenError", "ファイル " + path + " は開けません。 " + SHARING_VIOLATION + " "))
        self.assertEqual(result.ExitCode, 1)
        self.assertEqual(result.Stdout, b"")
        self.assertEqual(result.Boxes, [])
        self.assertEqual(result.Requests, [])
        self.assertEqual(self.Installation.SettingsBytes(), settings)


if __name__ == "__main__":
    unittest.main()
