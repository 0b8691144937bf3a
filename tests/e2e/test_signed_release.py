"""Signed releases, by the build with the tests' release key (the private half is in the build
folder; scripts/sign-release signs with it). A release whose archive carries the author's
signature installs, from the release page and as a local archive, also one named by its 8.3
short name; an altered archive, a missing signature (404), another key's signature and an older
release's signature offered under a newer name each give "アーカイブの署名を確認出来ませんでした.",
the end notice, no archive in the download folder (an earlier one stays as it was) and an
unchanged installation. Another program that replaces the verified archive, downloaded or local,
while ZELK is being closed never gets its bytes installed. A release continued after a killed run
and again after a break in the next is verified over every byte and installed, and so is one whose
page names it after the verified copy. test_typical_run shows that the product build, which has no
key, asks for no signature."""

import os
import random
import subprocess
import unittest

from harness import messages
from harness.content import MakeArchive, ReleasePage
from harness.dialogs import EndNotice, Question
from harness.environment import SIGNED, WindowsPath
from harness.http_server import Archive, Page, Redirect, Resumable, Status, TResponse
from harness.installation import REPLACEMENT_SUFFIX
from harness.installing import (CLOSED, CLOSING, DELETE, LAUNCH, LOCAL_ARCHIVE, MARKS, PREV_FILE,
                                Greeting, TInstallingCase)

NAME = "zelk32_156.zip"
BLOCK = 10240  # what one read of the updater's takes
RELEASE_DATA = os.urandom(25000)
RELEASE = MakeArchive([("zelk.dat", RELEASE_DATA, (2024, 3, 1, 9, 30, 0))])
# What another program puts in the verified archive's place.
IMPOSTOR_DATA = b"bytes nobody signed"
IMPOSTOR = MakeArchive([("zelk.dat", IMPOSTOR_DATA, (2024, 3, 1, 9, 30, 0))])
VERIFIED = "アーカイブの署名を確認しました."
NOT_VERIFIED = "アーカイブの署名を確認出来ませんでした."
# The copy of a verified archive that the installation is made from, beside it while the run lasts.
VERIFIED_COPY = "zelkupd-verified.zelkupd-tmp"
NEWER = Question("『 zelk32_156.zip 』が対象です.", "前回アップデートしたファイルよりも新しいです.",
                 default="yes")
PRESENT = Question("『 zelk32_156.zip 』が対象です.", "既にローカルにも存在しています.",
                   default="no")


class TSignedReleaseTest(TInstallingCase):
    BUILD = SIGNED

    def setUp(self):
        super().setUp()
        self.Settings = self.WriteSettings(delete_mode=1)

    def Signature(self, data, key=None, name=NAME):
        """The bytes scripts/sign-release writes for an archive of `data` called `name`, with the
        release key or `key`."""
        folder = os.path.join(self.WorkDir, "to-sign")
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, name)
        with open(path, "wb") as archive:
            archive.write(data)
        subprocess.run([self.Config.SignRelease, key or self.Config.ReleaseKey, path], check=True,
                       stdout=subprocess.DEVNULL)
        with open(path + ".sig", "rb") as signature:
            return signature.read()

    def OtherKey(self):
        path = os.path.join(self.WorkDir, "other.key")
        subprocess.run(["openssl", "ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out",
                        path], check=True)
        return path

    def AssertInstalled(self):
        with open(self.Installation.File("zelk.dat"), "rb") as installed:
            self.assertEqual(installed.read(), RELEASE_DATA)
        self.AssertZelkLaunched()

    def testASignedReleaseIsVerifiedBeforeItTakesItsNameAndInstalled(self):
        self.Server.Route("vum_zelk.html", Page(ReleasePage("zip/" + NAME)))
        self.Server.Route("zip/" + NAME, Archive(RELEASE))
        self.Server.Route("zip/" + NAME + ".sig", Archive(self.Signature(RELEASE)))
        result = self.RunUpdater(answers=["yes"])
        page, archive = self.Server.Url("vum_zelk.html"), self.Server.Url("zip/" + NAME)
        self.AssertConsoleLines(result, *Greeting(PREV_FILE, DELETE), *messages.PageFetch(page),
                                messages.ArchiveFetchStart(archive), MARKS, VERIFIED,
                                messages.OBTAINED, CLOSING, CLOSED, LAUNCH)
        self.assertEqual(result.Boxes, [NEWER])
        self.assertEqual([request.Url for request in result.Requests],
                         [page, archive, archive + ".sig"])
        self.AssertInstalled()
        self.assertEqual(self.Installation.SettingsBytes(),
                         b"[ZELK]\r\nPREV_FILE=zelk32_156.zip\r\nDELETE=1\r\n\r\n")
        self.assertFalse(os.path.exists(self.Installation.File(NAME)))

    def testALinkNamedAfterTheVerifiedCopyIsVerifiedAndInstalled(self):
        # The page may name the archive as it likes; its part file is still not the copy.
        name = "zelkupd-verified.zip"
        self.Server.Route("vum_zelk.html", Page(ReleasePage("zip/" + name)))
        self.Server.Route("zip/" + name, Archive(RELEASE))
        self.Server.Route("zip/" + name + ".sig", Archive(self.Signature(RELEASE, name=name)))
        result = self.RunUpdater(answers=["yes"])
        page, archive = self.Server.Url("vum_zelk.html"), self.Server.Url("zip/" + name)
        self.AssertConsoleLines(result, *Greeting(PREV_FILE, DELETE), *messages.PageFetch(page),
                                messages.ArchiveFetchStart(archive), MARKS, VERIFIED,
                                messages.OBTAINED, CLOSING, CLOSED, LAUNCH)
        # A name without a release number is older than any release.
        self.assertEqual(result.Boxes, [Question("『 zelkupd-verified.zip 』が対象です.",
                                                 "前回アップデートしたファイルよりも古いです.",
                                                 default="no")])
        self.AssertInstalled()
        self.assertEqual([entry for entry in os.listdir(self.Installation.Path)
                          if entry.startswith("zelkupd-verified")], [])

    def testASignedReleaseContinuedAfterAKilledRunAndABreakIsVerifiedWhole(self):
        # The killed run's part is read back into the hash and the copy; the break within the
        # second run comes more than a read past its start, so that Wine's WinINet, which loses a
        # read that a reset cuts short, leaves something to go on from.
        url = self.Server.Url("zip/" + NAME)
        part = self.Installation.File(NAME) + REPLACEMENT_SUFFIX
        self.Server.Route(url, TResponse(Body=RELEASE, DropAfter=BLOCK, ResetDelay=120,
                                         ETag='"r156"'))
        self.KillRunOnceFileHolds(part, BLOCK, url)
        rest = len(RELEASE) - BLOCK
        self.Server.Route(url, Resumable(RELEASE, '"r156"',
                                         [BLOCK + 1 + random.randrange(rest - BLOCK - 1)]))
        self.Server.Route(url + ".sig", Archive(self.Signature(RELEASE)))
        result = self.RunUpdater(url, answers=["yes"])
        self.AssertConsoleLines(result, *Greeting(PREV_FILE, DELETE),
                                *messages.ArchiveArgument(url), messages.ArchiveFetchStart(url),
                                messages.RESUMED, MARKS, messages.Continued(1), MARKS, VERIFIED,
                                messages.OBTAINED, CLOSING, CLOSED, LAUNCH)
        first, second, signature = result.Requests
        self.assertEqual(first.Headers.get("Range"), "bytes=%d-" % BLOCK)
        self.assertRegex(second.Headers.get("Range"), r"\Abytes=\d+-\Z")
        self.assertGreater(int(second.Headers["Range"][6:-1]), BLOCK)
        self.assertEqual([first.Headers.get("If-Range"), second.Headers.get("If-Range")],
                         ['"r156"'] * 2)
        self.assertEqual(signature.Url, url + ".sig")
        self.AssertInstalled()
        self.assertEqual([entry for entry in os.listdir(self.Installation.Path)
                          if entry.startswith(NAME) or entry == VERIFIED_COPY], [])

    def testAnyOtherReleaseLeavesNothingOfItselfAndChangesNothing(self):
        url = self.Server.Url("zip/" + NAME)
        altered = MakeArchive([("zelk.dat", RELEASE_DATA[:-1] + b"!", (2024, 3, 1, 9, 30, 0))])
        signature = self.Signature(RELEASE)
        other_key = self.Signature(RELEASE, self.OtherKey())
        earlier = b"an earlier download"
        for case, data, answer, before in (
                ("altered archive", altered, Archive(signature), None),
                ("no signature", RELEASE, Status(404, signature), None),
                ("another key's signature", RELEASE, Archive(other_key), None),
                ("an earlier archive stays", altered, Archive(signature), earlier)):
            with self.subTest(case=case):
                if before is not None:
                    self.Installation.WriteFile(NAME, before)
                snapshot = self.Installation.Snapshot()
                self.Server.Route(url, Archive(data))
                self.Server.Route(url + ".sig", answer)
                result = self.RunUpdater(url, answers=["yes", "ok"])
                self.AssertConsoleLines(result, *Greeting(PREV_FILE, DELETE),
                                        *messages.ArchiveArgument(url),
                                        messages.ArchiveFetchStart(url), MARKS, NOT_VERIFIED)
                self.assertEqual(result.Boxes, [PRESENT if before else NEWER, EndNotice()])
                self.assertEqual([request.Url for request in result.Requests],
                                 [url, url + ".sig"])
                self.assertEqual(self.Installation.Snapshot(), snapshot)
                self.assertEqual(sorted(name for name in os.listdir(self.Installation.Path)
                                        if name.startswith(NAME)), [NAME] if before else [])
                self.assertEqual(self.Installation.SettingsBytes(), self.Settings)
        self.AssertZelkNotLaunched()

    def testAnOlderReleaseOfferedUnderANewerNameIsRefused(self):
        older = MakeArchive([("zelk.dat", b"release 150", (2023, 1, 1, 0, 0, 0))])
        signature = self.Signature(older, name="zelk32_150.zip")
        self.Server.Route("vum_zelk.html", Page(ReleasePage("zip/zelk32_999.zip")))
        self.Server.Route("zip/zelk32_999.zip", Archive(older))
        self.Server.Route("zip/zelk32_999.zip.sig", Archive(signature))
        before = self.Installation.Snapshot()
        result = self.RunUpdater(answers=["yes", "ok"])
        page, archive = self.Server.Url("vum_zelk.html"), self.Server.Url("zip/zelk32_999.zip")
        self.AssertConsoleLines(result, *Greeting(PREV_FILE, DELETE), *messages.PageFetch(page),
                                messages.ArchiveFetchStart(archive), MARKS, NOT_VERIFIED)
        self.assertEqual(result.Boxes, [Question("『 zelk32_999.zip 』が対象です.",
                                                 "前回アップデートしたファイルよりも新しいです.",
                                                 default="yes"), EndNotice()])
        self.assertEqual(self.Installation.Snapshot(), before)
        self.assertEqual(self.Installation.SettingsBytes(), self.Settings)

        local = self.WriteLocalArchive(older, "zelk32_999.zip")
        with open(os.path.join(self.WorkDir, "dl", "zelk32_999.zip.sig"), "wb") as beside:
            beside.write(signature)
        result = self.RunUpdater(local, answers=["ok"])
        self.AssertConsoleLines(result, *Greeting(PREV_FILE, DELETE), LOCAL_ARCHIVE, NOT_VERIFIED)
        self.assertEqual(self.Installation.Snapshot(), before)
        self.AssertZelkNotLaunched()

    def testASignatureRedirectedFromHttpsToHttpIsNotVerified(self):
        url = "https://localhost:%d/zip/%s" % (self.Server.Port, NAME)
        moved = "http://localhost:%d/zip/%s.sig" % (self.Server.Port, NAME)
        self.Server.Route(url, Archive(RELEASE))
        self.Server.Route(url + ".sig", Redirect(moved, status=302))
        self.Server.Route(moved, Archive(self.Signature(RELEASE)))
        before = self.Installation.Snapshot()
        result = self.RunUpdater(url, answers=["yes", "ok"], env={"http_proxy": ""})
        self.AssertConsoleLines(result, *Greeting(PREV_FILE, DELETE),
                                *messages.ArchiveArgument(url), messages.ArchiveFetchStart(url),
                                MARKS, NOT_VERIFIED)
        self.assertEqual(result.Boxes, [NEWER, EndNotice()])
        self.assertEqual(self.Installation.Snapshot(), before)
        self.AssertZelkNotLaunched()

    def ReplaceWhileZelkCloses(self, downloaded, by, target=None):
        """A verified release, downloaded or local, whose archive (or `target`) a running ZELK
        replaces with unsigned bytes (moving another file over it, or copying another's bytes into
        it) when the updater asks it to close: what is installed is the release that was verified.
        The record of the attempt."""
        impostor = os.path.join(self.WorkDir, "impostor.zip")
        with open(impostor, "wb") as unsigned:
            unsigned.write(IMPOSTOR)
        if downloaded:
            url = self.Server.Url("zip/" + NAME)
            self.Server.Route(url, Archive(RELEASE))
            self.Server.Route(url + ".sig", Archive(self.Signature(RELEASE)))
            archive, arguments, answers = self.Installation.File(NAME), [url], ["yes"]
            lines = [*messages.ArchiveArgument(url), messages.ArchiveFetchStart(url), MARKS,
                     VERIFIED, messages.OBTAINED]
        else:
            path = self.WriteLocalArchive(RELEASE)
            archive = os.path.join(self.WorkDir, "dl", NAME)
            with open(archive + ".sig", "wb") as beside:
                beside.write(self.Signature(RELEASE))
            arguments, answers, lines = [path], [], [LOCAL_ARCHIVE, VERIFIED]
        self.StartStandIn(window="close", replace=target or archive, replace_with=impostor,
                          replace_by=by)
        result = self.RunUpdater(*arguments, answers=answers)
        self.AssertConsoleLines(result, *Greeting(PREV_FILE, DELETE), *lines, CLOSING, CLOSED,
                                LAUNCH)
        attempt = [record for record in self.StandIns.Records()
                   if record["record"] in ("replaced", "replace_failed")]
        self.assertEqual(len(attempt), 1, self.StandIns.Records())
        self.AssertInstalled()
        self.assertFalse(os.path.exists(self.Installation.File(VERIFIED_COPY)))
        return attempt[0]

    def testADownloadReplacedByAMoveWhileZelkClosesIsNotInstalled(self):
        self.ReplaceWhileZelkCloses(downloaded=True, by="move")

    def testADownloadRewrittenWhileZelkClosesIsNotInstalled(self):
        self.ReplaceWhileZelkCloses(downloaded=True, by="copy")

    def testALocalArchiveReplacedByAMoveWhileZelkClosesIsNotInstalled(self):
        self.ReplaceWhileZelkCloses(downloaded=False, by="move")

    def testALocalArchiveRewrittenWhileZelkClosesIsNotInstalled(self):
        self.ReplaceWhileZelkCloses(downloaded=False, by="copy")

    def testTheCopyThatIsInstalledCannotBeReplacedByAMove(self):
        copy = self.Installation.File(VERIFIED_COPY)
        attempt = self.ReplaceWhileZelkCloses(downloaded=False, by="move", target=copy)
        self.assertEqual(attempt["record"], "replace_failed", attempt)

    def testTheCopyThatIsInstalledCannotBeRewritten(self):
        copy = self.Installation.File(VERIFIED_COPY)
        attempt = self.ReplaceWhileZelkCloses(downloaded=True, by="copy", target=copy)
        self.assertEqual(attempt["record"], "replace_failed", attempt)

    def ShortName(self, path):
        """The 8.3 name Wine gives the file at the Unix `path`, as `dir /x` lists it."""
        folder = WindowsPath(os.path.dirname(path))
        listing = subprocess.run([self.Config.WineRun, self.Config.WinePrefix, "cmd", "/c", "dir",
                                  "/x", folder], check=True, capture_output=True)
        for line in listing.stdout.decode("cp932", "replace").splitlines():
            fields = line.split()
            if len(fields) >= 2 and fields[-1] == os.path.basename(path):
                return folder + "\\" + fields[-2]
        self.fail("no short name listed for %s:\n%s" % (path, listing.stdout))

    def testALocalArchiveNamedByItsShortNameIsCheckedUnderItsOwnName(self):
        path = os.path.join(self.WorkDir, "dl", NAME)
        self.WriteLocalArchive(RELEASE)
        with open(path + ".sig", "wb") as signature:
            signature.write(self.Signature(RELEASE))
        short = self.ShortName(path)
        self.assertNotEqual(short.rsplit("\\", 1)[1].lower(), NAME)
        result = self.RunUpdater(short)
        self.AssertConsoleLines(result, *Greeting(PREV_FILE, DELETE), LOCAL_ARCHIVE, VERIFIED,
                                CLOSING, CLOSED, LAUNCH)
        self.assertEqual(result.Boxes, [])
        self.AssertInstalled()

    def testALocalArchiveIsCheckedAgainstTheSignatureBesideIt(self):
        path = os.path.join(self.WorkDir, "dl", NAME)
        os.makedirs(os.path.dirname(path))
        with open(path, "wb") as archive:
            archive.write(RELEASE)
        before = self.Installation.Snapshot()
        result = self.RunUpdater(WindowsPath(path), answers=["ok"])
        self.AssertConsoleLines(result, *Greeting(PREV_FILE, DELETE), LOCAL_ARCHIVE, NOT_VERIFIED)
        self.assertEqual(result.Boxes, [EndNotice()])
        self.assertEqual(self.Installation.Snapshot(), before)

        with open(path + ".sig", "wb") as signature:
            signature.write(self.Signature(RELEASE))
        result = self.RunUpdater(WindowsPath(path))
        self.AssertConsoleLines(result, *Greeting(PREV_FILE, DELETE), LOCAL_ARCHIVE, VERIFIED,
                                CLOSING, CLOSED, LAUNCH)
        self.assertEqual(result.Boxes, [])
        self.assertEqual(result.Requests, [])
        self.AssertInstalled()
        with open(path, "rb") as kept:
            self.assertEqual(kept.read(), RELEASE)


if __name__ == "__main__":
    unittest.main()
