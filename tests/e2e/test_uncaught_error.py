"""An error that nothing catches: the updater ends with exit code 1 and the report on standard
error in the OEM code page (932 here), after whatever console output was pending."""

import os
import re
import unittest

from harness.case import TE2ECase
from harness.codepage import Cp932


def ReportPattern(class_name, message, message_end=b""):
    """The report: "<class> がモジュール zelkupd.exe の <address> で発生しました。", a line end, the
    message and a line end; the address is the raise site, as wide as a pointer. `message` is
    literal text (its 932 bytes may hold "[" or "\\"), `message_end` a pattern of bytes after it."""
    return re.compile(
        re.escape(Cp932(class_name + " がモジュール zelkupd.exe の "))
        + rb"[0-9A-F]{%d}" % (2 * int(os.environ["ZELKUPD_E2E_POINTER_BYTES"]))
        + re.escape(Cp932(" で発生しました。\r\n" + message))
        + message_end
        + rb"\r\n\Z"
    )


class TUncaughtErrorTest(TE2ECase):
    def testNoStandardOutputIsInputOutputError105(self):
        result = self.RunUpdater(self.Installation.WindowsPath("zelk32_155.zip"), stdout="none")
        self.assertRegex(result.Stderr, ReportPattern("EInOutError", "I/O エラー 105"))
        self.assertEqual(result.ExitCode, 1)
        self.assertEqual(result.Stdout, b"")
        self.assertEqual(result.Boxes, [])

    def testFailedConsoleWriteEndsTheRunBeforeTheEndNotice(self):
        # On a pipe the output waits in the 128-byte buffer; the write that fails is the one that
        # empties it, in the middle of the run. Windows reports a broken pipe as 232, Wine as 233.
        result = self.RunUpdater(self.Installation.WindowsPath("zelk32_155.zip"),
                                 stdout="broken-pipe")
        self.assertRegex(result.Stderr, ReportPattern("EInOutError", "I/O エラー ", rb"23[23]"))
        self.assertEqual(result.ExitCode, 1)
        self.assertEqual(result.Boxes, [])

if __name__ == "__main__":
    unittest.main()
