"""What the one argument names: a release page URL, an archive URL ("http://" in any letter case;
test_https has "https://"), a local archive that exists, and an argument that does not end in
".zip". test_local_archive has the local archive that is missing."""

import os
import unittest

from harness import messages
from harness.case import TE2ECase
from harness.codepage import ConsoleLines
from harness.content import MakeArchive, ReleasePage
from harness.dialogs import EndNotice, Question
from harness.environment import WindowsPath
from harness.http_server import Archive, Page

SETTINGS = "[ZELK]\r\nPREV_FILE=zelk32_155.zip\r\nDELETE=1\r\n"
RELEASE = MakeArchive([("readme.txt", "新しいゼルク\r\n".encode("cp932"), (2024, 3, 1, 9, 30, 0)),
                       ("zelk.dat", os.urandom(12000), (2024, 3, 1, 9, 31, 58))])


class TArgumentCase(TE2ECase):
    def setUp(self):
        super().setUp()
        self.Installation.WriteSettings(SETTINGS)
        self.Installation.AddStandIn("ZELK.EXE")

    def RequestedUrls(self, result):
        return [request.Url for request in result.Requests]

    def AssertInstalled(self):
        with open(self.Installation.File("readme.txt"), "rb") as readme:
            self.assertEqual(readme.read(), "新しいゼルク\r\n".encode("cp932"))
        self.StandIns.WaitForRecords("started")

    def AssertRecorded(self, new_file):
        self.assertEqual(self.Installation.SettingsBytes(),
                         ("[ZELK]\r\nPREV_FILE=%s\r\nDELETE=1\r\n\r\n" % new_file).encode("cp932"))


class TServerArgumentTest(TArgumentCase):
    def testPageUrlIsReadAloneAndItsArchiveInstalled(self):
        page = self.Server.Url("beta/index.html")
        self.Server.Route("beta/index.html", Page(ReleasePage("zip/zelk32_156.zip")))
        self.Server.Route("zip/zelk32_156.zip", Archive(RELEASE))
        # A second argument is ignored.
        result = self.RunUpdater(page, "zelk32_999.zip", answers=["yes"])
        archive_url = self.Server.Url("zip/zelk32_156.zip")
        self.AssertConsole(
            result,
            ConsoleLines(*messages.Greeting("zelk32_155.zip"), messages.DELETED,
                         messages.PAGE_ARGUMENT, *messages.PageFetch(page),
                         *messages.Download(archive_url, len(RELEASE)), *messages.Installation()),
        )
        self.assertEqual(result.Boxes[0].Text.split("\r\n")[0], "『 zelk32_156.zip 』が対象です.")
        self.assertEqual(self.RequestedUrls(result), [page, archive_url])
        self.AssertInstalled()
        self.AssertRecorded("zelk32_156.zip")

    def testArchiveUrlInAnyLetterCaseIsFetchedAndItsLastSegmentRecorded(self):
        for url, new_file in (("http://zelk.invalid/zip/zelk32_156.zip", "zelk32_156.zip"),
                              ("HTTP://ZELK.INVALID/ZIP/ZELK32_157.ZIP", "ZELK32_157.ZIP"),
                              ("hTtP://zelk.invalid/dl/zelk32_158.Zip", "zelk32_158.Zip")):
            with self.subTest(url=url):
                self.Installation.WriteSettings("[ZELK]\r\nPREV_FILE=\r\nDELETE=1\r\n")
                self.Server.Route(url, Archive(RELEASE))
                result = self.RunUpdater(url, answers=["yes"])
                self.AssertConsole(
                    result,
                    ConsoleLines(*messages.Greeting(), messages.DELETED,
                                 *messages.ArchiveArgument(url),
                                 *messages.Download(url, len(RELEASE)), *messages.Installation()),
                )
                self.assertEqual(result.Boxes[0].Text.split("\r\n")[0],
                                 "『 " + new_file + " 』が対象です.")
                self.assertEqual(len(result.Requests), 1)
                self.AssertInstalled()
                self.AssertRecorded(new_file)
                self.assertFalse(os.path.exists(self.Installation.File(new_file)))


class TLocalArgumentTest(TArgumentCase):
    def setUp(self):
        super().setUp()
        self.Download = os.path.join(self.WorkDir, "dl")
        os.makedirs(self.Download)
        self.Archive = os.path.join(self.Download, "zelk32_156.zip")
        with open(self.Archive, "wb") as archive:
            archive.write(RELEASE)

    def AssertInstalledWithoutQuestionKeptAndNotRecorded(self, result, disposal):
        self.AssertConsole(
            result,
            ConsoleLines(*messages.Greeting("zelk32_155.zip"), disposal, messages.LOCAL_ARGUMENT,
                         *messages.Installation()),
        )
        self.assertEqual(result.Boxes, [])
        self.assertEqual(result.ExitCode, 0)
        self.assertEqual(result.Requests, [])
        self.AssertInstalled()
        with open(self.Archive, "rb") as archive:
            self.assertEqual(archive.read(), RELEASE)

    def testExistingArchiveIsKeptThoughDeleteSaysDelete(self):
        result = self.RunUpdater(WindowsPath(self.Archive))
        self.AssertInstalledWithoutQuestionKeptAndNotRecorded(result, messages.DELETED)
        self.assertEqual(self.Installation.SettingsBytes(), SETTINGS.encode("cp932"))

    def testRelativeArchiveIsKeptThoughDeleteSaysRecycle(self):
        settings = "[ZELK]\r\nPREV_FILE=zelk32_155.zip\r\nDELETE=2\r\n"
        self.Installation.WriteSettings(settings)
        result = self.RunUpdater("dl\\ZELK32_156.ZIP", cwd=self.WorkDir)
        self.AssertInstalledWithoutQuestionKeptAndNotRecorded(result, messages.RECYCLED)
        self.assertEqual(self.Installation.SettingsBytes(), settings.encode("cp932"))
        self.assertFalse(os.path.exists(os.path.join(self.TrashHome, "Trash", "files")))

    def testArgumentNotEndingInZipIsReadAsAPageEvenWhenItIsALocalFile(self):
        other = os.path.join(self.Download, "zelk32_156.lzh")
        os.rename(self.Archive, other)
        before = self.Installation.Snapshot()
        result = self.RunUpdater(WindowsPath(other), answers=["ok"])
        self.AssertConsole(
            result,
            ConsoleLines(*messages.Greeting("zelk32_155.zip"), messages.DELETED,
                         messages.PAGE_ARGUMENT, messages.PageFetchStart(WindowsPath(other)),
                         messages.NOT_OBTAINED),
        )
        self.assertEqual(result.Boxes, [EndNotice()])
        self.assertEqual(result.ExitCode, 0)
        self.assertEqual(result.Requests, [])
        self.assertEqual(self.Installation.Snapshot(), before)


if __name__ == "__main__":
    unittest.main()
