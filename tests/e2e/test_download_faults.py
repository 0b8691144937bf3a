"""Downloads that fail or break off. An archive status other than 200, a body cut short after a
larger Content-Length, a connection dropped part-way and an archive that cannot be replaced each
end with "取得出来ませんでした." or the disk line and the end notice, leave no archive and no part
file of their own behind, and keep an earlier complete archive. A body that breaks off where the
server gave an ETag is continued from where it stopped, within the run and by the next after a
killed run; a server that answers the request for the rest with the whole body, and an archive
that changed between the runs, cost a full download: each installs the archive byte for byte.
And the part file's name, which is the updater's own: what a killed run left, of this archive or
of another name, is reclaimed with its resume record, what another run still holds there is left
to it, and a user's file named like a part file is never touched."""

import os
import random
import re
import unittest

from harness import messages
from harness.case import TE2ECase
from harness.codepage import ConsoleLines
from harness.content import MakeArchive
from harness.dialogs import EndNotice, Question
from harness.http_server import (Archive, CutShort, Dropped, Redirect, Resumable, Status,
                                 TResponse)
from harness.installation import REPLACEMENT_SUFFIX

NAME = "zelk32_156.zip"
BLOCK = 10240  # what one read of the updater's takes
RELEASE_DATA = os.urandom(30000)
RELEASE = MakeArchive([("zelk.dat", RELEASE_DATA, (2024, 3, 1, 9, 30, 0))])
LARGE_DATA = os.urandom(120000)
LARGE_RELEASE = MakeArchive([("zelk.dat", LARGE_DATA, (2024, 3, 1, 9, 30, 0))])
EARLIER = MakeArchive([("zelk.dat", b"earlier", (2024, 1, 1, 0, 0, 0))])
NEW = Question("『 zelk32_156.zip 』が対象です.", default="yes")
PRESENT = Question("『 zelk32_156.zip 』が対象です.", "既にローカルにも存在しています.", default="no")


class TDownloadFaultTest(TE2ECase):
    def setUp(self):
        super().setUp()
        self.Url = self.Server.Url("zip/" + NAME)
        self.Archive = self.Installation.File(NAME)
        self.Part = self.Archive + REPLACEMENT_SUFFIX

    def Fetch(self, response, question=NEW):
        """Answers Yes to `question` for the archive URL that `response` serves and checks that
        the run ended as after any failed download: the end notice, and the download folder as it
        was before, so with no part file of this run's."""
        self.Server.Route("zip/" + NAME, response)
        before = self.Installation.Snapshot()
        result = self.RunUpdater(self.Url, answers=["yes", "ok"])
        self.assertEqual(result.Boxes, [question, EndNotice()])
        self.assertEqual(result.ExitCode, 0)
        self.assertEqual(result.Stderr, b"")
        self.assertEqual(self.Installation.Snapshot(), before)
        return result

    def Earlier(self):
        """A complete archive of that name from an earlier download."""
        self.Installation.WriteFile(NAME, EARLIER)

    def AssertEarlierKept(self):
        with open(self.Archive, "rb") as kept:
            self.assertEqual(kept.read(), EARLIER)

    def AssertTheNextDownloadInstalls(self):
        """A download of the release after that, beside a ZELK without a window: fetched whole
        and installed."""
        self.Installation.AddStandIn("ZELK.EXE")
        self.StandIns.Configure("ZELK", window="none")
        self.Server.Route("zip/" + NAME, Archive(RELEASE))
        result = self.RunUpdater(self.Url, answers=["yes"])
        self.AssertConsole(result, self.Start() + ConsoleLines(
            messages.Marks(len(RELEASE)), messages.OBTAINED, *messages.Installation()))

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

    def KillWhileDownloading(self, received, route=True):
        """Starts a run that fetches the archive, of which the server sends `received` bytes (whole
        reads of the updater's) and then nothing more, and kills the run once its part file holds
        them. Without `route`, the test has routed the archive so itself."""
        if route:
            self.Server.Route("zip/" + NAME, Dropped(RELEASE, after=received, reset_delay=120))
        self.KillRunOnceFileHolds(self.Part, received, self.Url)

    def testAPartFileLeftByAKilledRunIsReclaimedAndAUsersPartFileIsNeverTouched(self):
        # The user's own file under the name part files are often given, held open by its
        # program without sharing.
        users = self.Archive + ".part"
        with open(users, "wb") as own:
            own.write(b"the user's own")
        self.StartStandIn("locker.exe", folder=self.WorkDir, window="none", lock=users,
                          share="none")
        self.KillWhileDownloading(BLOCK)
        with open(self.Part, "rb") as leftover:
            self.assertEqual(leftover.read(), RELEASE[:BLOCK])

        self.AssertTheNextDownloadInstalls()
        with open(self.Installation.File("zelk.dat"), "rb") as installed:
            self.assertEqual(installed.read(), RELEASE_DATA)
        with open(users, "rb") as own:
            self.assertEqual(own.read(), b"the user's own")
        self.assertEqual(sorted(name for name in os.listdir(self.Installation.Path)
                                if name.startswith(NAME)), [NAME, NAME + ".part"])

    def testTheLeftoversOfAKilledDownloadOfAnotherNameAreReclaimedByTheNext(self):
        # A hostile page chose the name; the drip gave the killed run an ETag to resume by.
        planted = self.Installation.File("planted_by_server.zip")
        url = self.Server.Url("zip/planted_by_server.zip")
        self.Server.Route(url, TResponse(Body=RELEASE, DropAfter=BLOCK, ResetDelay=120,
                                         ETag='"planted"'))
        self.KillRunOnceFileHolds(planted + REPLACEMENT_SUFFIX, BLOCK, url)

        self.AssertTheNextDownloadInstalls()
        self.assertEqual([name for name in os.listdir(self.Installation.Path)
                          if name.startswith("planted")], [])
        self.AssertInstalledAndTidy()

    def AssertInstalledAndTidy(self, data=RELEASE_DATA):
        with open(self.Installation.File("zelk.dat"), "rb") as installed:
            self.assertEqual(installed.read(), data)
        self.assertEqual(sorted(name for name in os.listdir(self.Installation.Path)
                                if name.startswith(NAME)), [NAME])

    def testABodyBrokenAtRandomPointsIsContinuedWhereItStoppedAndInstalledWhole(self):
        # Breaks anywhere in the body, within a block of the updater's or at its edge, each
        # continued from where it stopped: the archive is then byte for byte the release.
        # Wine's WinINet fails a read that a reset cuts short, losing what it held of it, so each
        # answer breaks more than a read past its start: a break within the first read would
        # leave nothing to go on from.
        breaks = [BLOCK + 1 + random.randrange(2 * BLOCK) for _ in range(3)]
        self.Server.Route("zip/" + NAME, Resumable(LARGE_RELEASE, '"r156"', breaks))
        self.Installation.AddStandIn("ZELK.EXE")
        self.StandIns.Configure("ZELK", window="none")
        result = self.RunUpdater(self.Url, answers=["yes"])
        ranges = [request.Headers.get("Range") for request in result.Requests]
        self.assertEqual(ranges[0], None, self.Describe(result))
        # Each request asks for the rest from where what had arrived ended, at most the bytes
        # sent before the break.
        self.assertEqual(len(ranges), 4, (breaks, ranges))
        sent = 0
        for wanted, count in zip(ranges[1:], breaks):
            self.assertRegex(wanted, r"\Abytes=\d+-\Z")
            sent += count
            self.assertLessEqual(int(wanted[6:-1]), sent)
            sent = int(wanted[6:-1])
        self.assertEqual([request.Headers.get("If-Range") for request in result.Requests[1:]],
                         ['"r156"'] * 3)
        for n in (1, 2, 3):
            self.assertIn(ConsoleLines("取得が途切れました. 続きを取得します. (%d)" % n),
                          result.Stdout)
        self.assertTrue(result.Stdout.endswith(ConsoleLines(
            messages.OBTAINED, *messages.Installation())), self.Describe(result))
        with open(self.Archive, "rb") as kept:
            self.assertEqual(kept.read(), LARGE_RELEASE)
        self.AssertInstalledAndTidy(LARGE_DATA)

    def testTheRestOfAnotherBodyIsNeverJoinedToThePart(self):
        # A server that ignores If-Range answers the request for the rest with the rest of a
        # rebuilt archive of the very same size under another ETag: its range fits, its
        # validator does not. Nothing of it joins the part, and the earlier archive stays.
        rebuilt = MakeArchive([("zelk.dat", os.urandom(len(LARGE_DATA)), (2024, 3, 1, 9, 30, 0))],
                              compression=0)
        release = MakeArchive([("zelk.dat", LARGE_DATA, (2024, 3, 1, 9, 30, 0))], compression=0)
        self.assertEqual(len(rebuilt), len(release))
        response = Resumable(release, '"r156"', [BLOCK + 5000])
        response.Impostor = Resumable(rebuilt, '"r157"')
        self.Earlier()
        result = self.Fetch(response, PRESENT)
        self.assertEqual([request.Headers.get("If-Range") for request in result.Requests],
                         [None, '"r156"'])
        self.assertTrue(result.Stdout.startswith(self.Start()), self.Describe(result))
        self.assertTrue(result.Stdout.endswith(ConsoleLines(
            "取得が途切れました. 続きを取得します. (1)", messages.NOT_OBTAINED)),
            self.Describe(result))
        self.AssertEarlierKept()

    def testAServerThatIgnoresRangeCostsAFullDownloadAndNothingElse(self):
        # It gives an ETag, so the break is continued, but answers the request for the rest with
        # the whole body again.
        self.Server.Route("zip/" + NAME, TResponse(
            Body=LARGE_RELEASE, Headers=[("ETag", '"r156"')],
            Breaks=[BLOCK + 1 + random.randrange(2 * BLOCK)], ResetDelay=0.3))
        self.Installation.AddStandIn("ZELK.EXE")
        self.StandIns.Configure("ZELK", window="none")
        result = self.RunUpdater(self.Url, answers=["yes"])
        self.assertEqual([request.Headers.get("Range") is None for request in result.Requests],
                         [True, False], self.Describe(result))
        start = self.Start()
        self.assertEqual(result.Stdout[: len(start)], start, self.Describe(result))
        self.assertRegex(result.Stdout[len(start):], re.compile(b"\\A#+\r\n" + re.escape(
            ConsoleLines(messages.Continued(1), messages.STARTED_OVER,
                         messages.Marks(len(LARGE_RELEASE)), messages.OBTAINED,
                         *messages.Installation())) + b"\\Z"))
        with open(self.Archive, "rb") as kept:
            self.assertEqual(kept.read(), LARGE_RELEASE)
        self.AssertInstalledAndTidy(LARGE_DATA)

    def testARunKilledMidDownloadIsContinuedByTheNextAndAChangedBodyStartsOver(self):
        for etag in ('"r156"', '"rebuilt"'):
            with self.subTest(etag=etag):
                if os.path.exists(self.Archive):
                    os.remove(self.Archive)
                self.Server.Route("zip/" + NAME, TResponse(
                    Body=RELEASE, DropAfter=BLOCK, ResetDelay=120, ETag='"r156"'))
                self.KillWhileDownloading(BLOCK, route=False)
                self.assertTrue(os.path.exists(self.Archive + ".zelkupd-resume"))
                self.Installation.AddStandIn("ZELK.EXE")
                self.StandIns.Configure("ZELK", window="none")
                self.Server.Route("zip/" + NAME, Resumable(RELEASE, etag))
                result = self.RunUpdater(self.Url, answers=["yes"])
                last = result.Requests[-1]
                self.assertEqual(last.Headers.get("Range"), "bytes=%d-" % BLOCK)
                rest = RELEASE[BLOCK:] if etag == '"r156"' else RELEASE
                again = () if etag == '"r156"' else ("最初から取得し直します.",)
                # The second round's greeting names the release the first installed.
                self.assertTrue(result.Stdout.endswith(ConsoleLines(
                    messages.ArchiveFetchStart(self.Url), "前回の続きから取得します.", *again,
                    messages.Marks(len(rest)), messages.OBTAINED, *messages.Installation())),
                    self.Describe(result))
                self.AssertInstalledAndTidy()

    def testAPartFileThatAnotherRunStillWritesIsADiskFailureAndLeftToIt(self):
        # Held open as a downloading run holds it: others may read it, none may remove it.
        with open(self.Part, "wb") as other:
            other.write(RELEASE[:BLOCK])
        self.StartStandIn("locker.exe", folder=self.WorkDir, window="none", lock=self.Part,
                          share="read", access="write")
        result = self.Fetch(Archive(RELEASE))
        self.AssertConsole(result, self.Start() + ConsoleLines(messages.CANNOT_WRITE))
        self.assertFalse(os.path.exists(self.Archive))

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
