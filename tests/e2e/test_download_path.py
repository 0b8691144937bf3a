"""DOWN_PATH: quoted, naming a folder below the installation through %zelk%, expanded into at most
260 units (the terminating zero included) or else kept as written, created with its parents when
missing, and a folder that cannot be created, which ends the run before any request."""

import os
import unittest

from harness import messages
from harness.case import TE2ECase
from harness.codepage import ConsoleLines
from harness.content import MakeArchive
from harness.dialogs import EndNotice, Question
from harness.environment import WindowsPath
from harness.http_server import Archive

RELEASE = MakeArchive([("readme.txt", b"zelk 156\r\n", (2024, 3, 1, 9, 30, 0))])
NAME = "zelk32_156.zip"
PRESENT = Question("『 zelk32_156.zip 』が対象です.", "既にローカルにも存在しています.", default="no")


class TDownloadPathTest(TE2ECase):
    def setUp(self):
        super().setUp()
        self.Url = self.Server.Url("zip/" + NAME)
        self.Server.Route("zip/" + NAME, Archive(RELEASE))

    def AssertDownloadedInto(self, result, folder, path_lines):
        """A Yes run that downloaded the archive into `folder`, kept it there and installed it."""
        self.AssertConsole(
            result,
            ConsoleLines(*messages.Greeting(), *path_lines, messages.KEPT,
                         *messages.ArchiveArgument(self.Url),
                         *messages.Download(self.Url, len(RELEASE)), *messages.Installation()),
        )
        self.assertEqual(result.ExitCode, 0)
        with open(os.path.join(folder, NAME), "rb") as kept:
            self.assertEqual(kept.read(), RELEASE)
        self.assertFalse(os.path.exists(self.Installation.File(NAME)))
        self.assertEqual(sorted(os.listdir(folder)), [NAME])
        with open(self.Installation.File("readme.txt"), "rb") as readme:
            self.assertEqual(readme.read(), b"zelk 156\r\n")

    def testQuotedPathWithBlanksIsCreatedWithItsParents(self):
        folder = os.path.join(self.WorkDir, "down load", "zelk 156")
        self.Installation.WriteSettings('[ZELK]\r\nDOWN_PATH = "%s"\r\n' % WindowsPath(folder))
        result = self.RunUpdater(self.Url, answers=["yes"])
        self.AssertDownloadedInto(
            result, folder, (messages.DownloadPath(WindowsPath(folder)), messages.CREATING_FOLDER))

    def testZelkVariableNamesAFolderBelowTheInstallation(self):
        self.Installation.WriteSettings("[ZELK]\r\nDOWN_PATH=%zelk%\\sub\r\n")
        result = self.RunUpdater(self.Url, answers=["yes"])
        self.AssertDownloadedInto(
            result, self.Installation.File("sub"),
            (messages.DownloadPath(self.Installation.WindowsPath("sub")), messages.CREATING_FOLDER))

    def PaddedPath(self, length):
        """The Windows path of an existing folder, `length` units long, padded with "." steps."""
        folder = os.path.join(self.WorkDir, "dl")
        os.makedirs(folder, exist_ok=True)
        path = WindowsPath(folder)
        padding = length - len(path)
        path += "\\." * (padding // 2) + "\\" * (padding % 2)
        self.assertEqual(len(path), length)
        return folder, path

    def testExpansionOf259UnitsIsUsed(self):
        folder, padded = self.PaddedPath(259)
        with open(os.path.join(folder, NAME), "wb") as earlier:
            earlier.write(b"earlier")
        self.Installation.WriteSettings("[ZELK]\r\nDOWN_PATH=%ZELK_TEST_DL%\r\n")
        result = self.RunUpdater(self.Url, answers=["cancel"], env={"ZELK_TEST_DL": padded})
        self.AssertConsole(
            result,
            ConsoleLines(*messages.Greeting(), messages.DownloadPath(padded), messages.KEPT,
                         *messages.ArchiveArgument(self.Url)),
        )
        # The question about the archive already there shows that the folder is the one used.
        self.assertEqual(result.Boxes, [PRESENT])

    def testExpansionOf260UnitsIsKeptAsWrittenAndTakenFromTheCurrentFolder(self):
        _, padded = self.PaddedPath(260)
        self.Installation.WriteSettings("[ZELK]\r\nDOWN_PATH=%ZELK_TEST_DL%\r\n")
        result = self.RunUpdater(self.Url, answers=["cancel"], env={"ZELK_TEST_DL": padded},
                                 cwd=self.WorkDir)
        self.AssertConsole(
            result,
            ConsoleLines(*messages.Greeting(), messages.EXPANSION_FAILED,
                         messages.DownloadPath("%ZELK_TEST_DL%"), messages.CREATING_FOLDER,
                         messages.KEPT, *messages.ArchiveArgument(self.Url)),
        )
        self.assertEqual(result.Boxes, [Question("『 zelk32_156.zip 』が対象です.", default="yes")])
        self.assertTrue(os.path.isdir(os.path.join(self.WorkDir, "%ZELK_TEST_DL%")))

    def testFolderThatCannotBeCreatedEndsTheRunWithTheNotice(self):
        # Below a file, so neither the folder nor its parent can be made.
        folder = self.Installation.WindowsPath("zelkupd.exe", "dl")
        self.Installation.WriteSettings("[ZELK]\r\nPREV_FILE=zelk32_155.zip\r\nDOWN_PATH=%s\r\n"
                                        % folder)
        before = self.Installation.Snapshot()
        result = self.RunUpdater(answers=["ok"])
        self.AssertConsole(
            result,
            ConsoleLines(*messages.Greeting("zelk32_155.zip"), messages.DownloadPath(folder),
                         messages.CREATING_FOLDER, messages.FOLDER_NOT_CREATED),
        )
        self.assertEqual(result.Boxes, [EndNotice()])
        self.assertEqual(result.ExitCode, 0)
        self.assertEqual(result.Stderr, b"")
        self.assertEqual(result.Requests, [])
        self.assertEqual(self.Installation.Snapshot(), before)


if __name__ == "__main__":
    unittest.main()
