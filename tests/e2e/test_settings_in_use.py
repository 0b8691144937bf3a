"""A settings file that another program holds open for writing cannot be read: the run ends before
its first console line with exit code 1 and the EFOpenError report on standard error."""

import unittest

from harness.case import TE2ECase
from harness.installation import SETTINGS_NAME
from test_uncaught_error import ReportPattern

SETTINGS = "[ZELK]\r\nPREV_FILE=zelk32_155.zip\r\n"


class TSettingsInUseTest(TE2ECase):
    def testSettingsFileHeldOpenForWritingEndsTheRunBeforeItsFirstLine(self):
        self.Installation.WriteSettings(SETTINGS)
        # A program saving the file: it writes and lets others read, but not open it for reading
        # while it writes, since the updater's readers do not share writing.
        self.StartStandIn("editor.exe", folder=self.WorkDir, window="none",
                          lock=self.Installation.File(SETTINGS_NAME), share="read",
                          access="write")
        self.assertEqual(self.StandIns.RecordsOf("locked", "editor")[0]["access"], "write")
        before = self.Installation.Snapshot()

        result = self.RunUpdater()

        path = self.Installation.WindowsPath(SETTINGS_NAME)
        # The message ends in the system's own text for the sharing violation.
        self.assertRegex(result.Stderr, ReportPattern("EFOpenError", "ファイル " + path + " は開けません。 ",
                                                      rb"[^\r\n]+"))
        self.assertEqual(result.ExitCode, 1)
        self.assertEqual(result.Stdout, b"")
        self.assertEqual(result.Boxes, [])
        self.assertEqual(result.Requests, [])
        self.assertEqual(self.Installation.Snapshot(), before)


if __name__ == "__main__":
    unittest.main()
