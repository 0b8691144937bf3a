"""Downloads that fail: an archive status other than 200, a body cut short after a larger
Content-Length, a connection dropped part-way and an archive that cannot be replaced. Each ends
with "取得出来ませんでした." or the disk line and the end notice, leaves no archive and no part file
of its own behind, and keeps an earlier complete archive. And a file of someone else's that bears
the part file's name, which the download leaves alone by taking the next free name."""

import os
import re
import unittest

from harness import messages
from harness.case import TE2ECase
from harness.codepage import ConsoleLines
from harness.content import MakeArchive
from harness.dialogs import EndNotice, Question
from harness.http_server import Archive, CutShort, Dropped, Redirect, Status, TResponse

NAME = "zelk32_156.zip"
RELEASE_DATA = os.urandom(30000)
RELEASE = MakeArchive([("zelk.dat", RELEASE_DATA, (2024, 3, 1, 9, 30, 0))])
EARLIER = MakeArchive([("zelk.dat", b"earlier", (2024, 1, 1, 0, 0, 0))])
NEW = Question("『 zelk32_156.zip 』が対象です.", default="yes")
PRESENT = Question("『 zelk32_156.zip 』が対象です.", "既にローカルにも存在しています.", default="no")


class TDownloadFaultTest(TE2ECase):
    def setUp(self):
        super().setUp()
        self.Url = self.Server.Url("zip/" + NAME)
        self.Archive = self.Installation.File(NAME)
        self.Part = self.Archive + ".part"

    def Fetch(self, response, question=NEW):
        """Answers Yes to `question` for the archive URL that `response` serves and checks that
        the run ended as after any failed download: the end notice, and the download folder as it
        was before, with no part file."""
        self.Server.Route("zip/" + NAME, response)
        before = self.Installation.Snapshot()
        result = self.RunUpdater(self.Url, answers=["yes", "ok"])
        self.assertEqual(result.Boxes, [question, EndNotice()])
        self.assertEqual(result.ExitCode, 0)
        self.assertEqual(result.Stderr, b"")
        self.assertEqual(self.Installation.Snapshot(), before)
        self.assertFalse(os.path.exists(self.Part))
        return result

    def Earlier(self):
        """A complete archive of that name from an earlier download."""
        self.Installation.WriteFile(NAME, EARLIER)

    def AssertEarlierKept(self):
        with open(self.Archive, "rb") as kept:
            self.assertEqual(kept.read(), EARLIER)

    def Start(self):
        return ConsoleLines(*messages.Greeting(), messages.KEPT,
                            *messages.ArchiveArgument(self.Url),
                            messages.ArchiveFetchStart(self.Url))

    def testStatusOtherThan200CreatesNothing(self):
        for response in (Status(404, b"<html>Not Found</html>"), Status(500, b"<html>Error</html>"),
                         TResponse(Status=301)):
            with self.subTest(status=response.Status):
                result = self.Fetch(response)
                self.AssertConsole(result, self.Start() + ConsoleLines(messages.NOT_OBTAINED))
                self.assertFalse(os.path.exists(self.Archive))

    def testRedirectThatEndsInAMissingArchiveIsNotObtained(self):
        # WinINet follows a redirect by itself; what counts is the status at its end.
        result = self.Fetch(Redirect(self.Server.Url("old/" + NAME)))
        self.AssertConsole(result, self.Start() + ConsoleLines(messages.NOT_OBTAINED))
        self.assertEqual([request.Url for request in result.Requests],
                         [self.Url, self.Server.Url("old/" + NAME)])

    def testBodyCutShortIsNotObtainedAndKeepsTheEarlierArchive(self):
        self.Earlier()
        result = self.Fetch(CutShort(RELEASE[:15000], announced=len(RELEASE)), PRESENT)
        self.AssertConsole(result, self.Start() + ConsoleLines("##", messages.NOT_OBTAINED))
        self.AssertEarlierKept()

    def testConnectionDroppedPartWayIsNotObtained(self):
        for earlier in (False, True):
            with self.subTest(earlier=earlier):
                if earlier:
                    self.Earlier()
                result = self.Fetch(Dropped(RELEASE, after=15000, reset_delay=0.3),
                                    PRESENT if earlier else NEW)
                # The marks of what arrived before the reset (a whole block and maybe the rest),
                # then the end of their row.
                start = self.Start()
                self.assertEqual(result.Stdout[: len(start)], start, self.Describe(result))
                self.assertRegex(result.Stdout[len(start):],
                                 re.compile(b"\\A#{1,2}\r\n" + re.escape(
                                     ConsoleLines(messages.NOT_OBTAINED)) + b"\\Z"))
                if earlier:
                    self.AssertEarlierKept()
                else:
                    self.assertFalse(os.path.exists(self.Archive))

    def testAForeignFileNamedLikeThePartFileIsLeftAloneAndTheDownloadGoesBesideIt(self):
        # Someone else's file of that name, held open by its program without sharing.
        with open(self.Part, "wb") as foreign:
            foreign.write(b"not ours")
        self.StartStandIn("locker.exe", folder=self.WorkDir, window="none", lock=self.Part,
                          share="none")
        self.Installation.AddStandIn("ZELK.EXE")
        self.StandIns.Configure("ZELK", window="none")
        self.Server.Route("zip/" + NAME, Archive(RELEASE))
        result = self.RunUpdater(self.Url, answers=["yes"])
        self.AssertConsole(result, self.Start() + ConsoleLines(
            messages.Marks(len(RELEASE)), messages.OBTAINED, *messages.Installation()))
        with open(self.Installation.File("zelk.dat"), "rb") as installed:
            self.assertEqual(installed.read(), RELEASE_DATA)
        with open(self.Part, "rb") as foreign:
            self.assertEqual(foreign.read(), b"not ours")
        self.assertEqual(sorted(name for name in os.listdir(self.Installation.Path)
                                if name.startswith(NAME)), [NAME, NAME + ".part"])

    def testArchiveThatCannotBeReplacedIsADiskFailureAndStaysWhole(self):
        # The earlier archive is open in another program, which lets others read it only.
        self.Earlier()
        self.StartStandIn("locker.exe", folder=self.WorkDir, window="none", lock=self.Archive,
                          share="read")
        result = self.Fetch(Archive(RELEASE), PRESENT)
        self.AssertConsole(result, self.Start() + ConsoleLines(messages.Marks(len(RELEASE)),
                                                               messages.CANNOT_WRITE))
        self.AssertEarlierKept()


if __name__ == "__main__":
    unittest.main()
