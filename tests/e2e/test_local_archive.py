"""A local archive named on the command line that does not exist: the run reports it with its full
path, shows the end notice and ends with exit code 0, having touched nothing."""

import unittest

from harness.case import TE2ECase
from harness.codepage import ConsoleLines
from harness.dialogs import EndNotice
from harness.environment import WindowsPath

GREETING = ("ゼルク のアップデートを試みます.", "", "ダウンロードしたアーカイブは保持されます.")


class TMissingLocalArchiveTest(TE2ECase):
    def testAbsolutePathIsReportedAndTheEndNoticeShown(self):
        archive = self.Installation.WindowsPath("zelk32_155.zip")
        before = self.Installation.Snapshot()
        result = self.RunUpdater(archive, answers=["ok"])
        self.AssertConsole(
            result,
            ConsoleLines(
                *GREETING,
                "ローカルのアーカイブファイルが指定されました.",
                "指定ファイル " + archive + " が存在しません.",
            ),
        )
        self.assertEqual(result.Boxes, [EndNotice()])
        self.assertEqual(result.ExitCode, 0)
        self.assertEqual(result.Stderr, b"")
        self.assertEqual(result.Requests, [])
        self.assertEqual(self.Installation.Snapshot(), before)

    def testRelativePathIsMadeFullFromTheCurrentFolderOnAPipe(self):
        # Standard output is a pipe here, not a file: the same bytes in the ANSI code page.
        result = self.RunUpdater("old\\ZELK32_155.ZIP", answers=["ok"], cwd=self.WorkDir,
                                 stdout="pipe")
        self.AssertConsole(
            result,
            ConsoleLines(
                *GREETING,
                "ローカルのアーカイブファイルが指定されました.",
                "指定ファイル " + WindowsPath(self.WorkDir) + "\\old\\ZELK32_155.ZIP が存在しません.",
            ),
        )
        self.assertEqual(result.Boxes, [EndNotice()])
        self.assertEqual(result.ExitCode, 0)


if __name__ == "__main__":
    unittest.main()
