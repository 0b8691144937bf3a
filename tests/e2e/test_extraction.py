"""Extraction into the installation: the entries land with their subfolders and get their local
times converted with the time zone in force, files the archive lacks stay; an archive that cannot
be installed (a file held open, damaged or cut-off data, a hostile entry name) fails six times,
changes nothing it must not, and ZELK is started all the same."""

import io
import os
import struct
import subprocess
import unittest
import zipfile

from harness.content import TIMEZONE_OFFSET, LocalTimeToEpoch, MakeArchive
from harness.dialogs import EndNotice
from harness.installing import (CLOSED, CLOSING, DELETE, LAUNCH, LOCAL_ARCHIVE, PREV_FILE,
                                DownloadLines, FailedExtractionLines, Greeting, TInstallingCase)

# An archive of every kind of entry: a file over an installed one, a folder entry before its file,
# a file in folders that no entry names, and an empty folder, each with a time of its own.
RELEASE = [
    ("zelk.dat", b"release 156 " * 40, (2024, 5, 17, 9, 30, 12)),
    ("doc/", b"", (2024, 5, 16, 8, 0, 0)),
    ("doc/readme.txt", "ゼルク 1.56 の説明\r\n".encode("cp932"), (2023, 12, 31, 23, 59, 58)),
    ("plugins/extra/tool.dll", b"MZ" + bytes(3000), (2022, 2, 28, 0, 0, 2)),
    ("empty/", b"", (2020, 2, 29, 12, 34, 56)),
]
# Every entry keeps its time but "doc/", which the file written into it afterwards changes.
STAMPS = {name.rstrip("/"): stamp for name, _, stamp in RELEASE if name != "doc/"}
STAMP = (2024, 5, 17, 9, 30, 0)


class TExtractionTest(TInstallingCase):
    def setUp(self):
        super().setUp()
        self.Installation.WriteFile("zelk.dat", b"release 155", mtime=1600000000)
        self.Installation.WriteFile("keep.ini", b"[user]\r\nown=1\r\n", mtime=1600000000)
        self.Installation.WriteFile("doc/old.txt", b"older notes", mtime=1600000000)

    def AssertInstalled(self, offset):
        """The release's files in place, stamped with their local times in a zone `offset`
        seconds east of UTC."""
        for name, data, _ in RELEASE:
            if not name.endswith("/"):
                with open(self.Installation.File(*name.split("/")), "rb") as installed:
                    self.assertEqual(installed.read(), data, name)
        for name, stamp in STAMPS.items():
            with self.subTest(name=name):
                expected = LocalTimeToEpoch(stamp, offset) * 10**9
                self.assertEqual(os.stat(self.Installation.File(*name.split("/"))).st_mtime_ns,
                                 expected)

    def testEntriesGetTheirLocalTimesAndFilesNotInTheArchiveStay(self):
        before = self.Installation.Snapshot()
        result, _ = self.InstallLocalArchive(MakeArchive(RELEASE))
        self.AssertConsoleLines(result, *Greeting(), LOCAL_ARCHIVE, CLOSING, CLOSED, LAUNCH)
        self.assertEqual(result.Boxes, [])
        self.assertEqual(result.ExitCode, 0)
        self.AssertInstalled(TIMEZONE_OFFSET)
        after = self.Installation.Snapshot()
        for name in ("keep.ini", "doc/old.txt", "zelkupd.exe", "ZELK.EXE"):
            self.assertEqual(after[name], before[name], name)
        self.AssertZelkLaunched()

    def testAnotherTimeZoneGivesOtherFileTimes(self):
        # Three and a half hours west of UTC, no summer time: the bias that is in force counts.
        result, _ = self.InstallLocalArchive(MakeArchive(RELEASE), env={"TZ": "ZLK+3:30"})
        self.AssertConsoleLines(result, *Greeting(), LOCAL_ARCHIVE, CLOSING, CLOSED, LAUNCH)
        self.AssertInstalled(-(3 * 3600 + 1800))


# The first entry is sound and would be written by an extraction that only stops at the bad one.
SOUND_FIRST = ("zelk.dat", b"release 156 " * 40, (2024, 5, 17, 9, 30, 12))


def FlipByteInData(archive, name):
    """The archive with one byte of the entry's data changed."""
    with zipfile.ZipFile(io.BytesIO(archive)) as reader:
        info = reader.getinfo(name)
    name_length, extra_length = struct.unpack_from("<HH", archive, info.header_offset + 26)
    offset = info.header_offset + 30 + name_length + extra_length + info.compress_size // 2
    return archive[:offset] + bytes([archive[offset] ^ 0x01]) + archive[offset + 1:]


class TFailedExtractionTest(TInstallingCase):
    """Archives that cannot be installed: six attempts, the installation as it was, ZELK started."""

    def setUp(self):
        super().setUp()
        self.Installation.WriteFile("zelk.dat", b"release 155", mtime=1600000000)
        self.Installation.WriteFile("doc/readme.txt", b"older notes", mtime=1600000000)

    def AssertRefused(self, archive_data):
        before = self.Installation.Snapshot()
        result, archive = self.InstallLocalArchive(archive_data, answers=["ok"])
        self.AssertConsoleLines(result, *Greeting(), LOCAL_ARCHIVE, CLOSING, CLOSED,
                                *FailedExtractionLines(archive), LAUNCH)
        self.assertEqual(result.Boxes, [EndNotice()])
        self.assertEqual(result.ExitCode, 0)
        self.assertEqual(self.Installation.Snapshot(), before)
        self.AssertZelkLaunched()

    def testFlippedByteInStoredDataFailsItsCheckBeforeAnythingIsWritten(self):
        # Stored, so only the entry's CRC-32 can tell: the data still decodes.
        archive = MakeArchive([SOUND_FIRST, ("doc/readme.txt", b"new notes " * 100, STAMP)],
                              compression=zipfile.ZIP_STORED)
        self.AssertRefused(FlipByteInData(archive, "doc/readme.txt"))

    def testFlippedByteInDeflatedData(self):
        archive = MakeArchive([SOUND_FIRST, ("doc/readme.txt", bytes(range(256)) * 40, STAMP)])
        self.AssertRefused(FlipByteInData(archive, "doc/readme.txt"))

    def testTruncatedArchive(self):
        archive = MakeArchive([SOUND_FIRST, ("doc/readme.txt", bytes(range(256)) * 40, STAMP)])
        self.AssertRefused(archive[: len(archive) // 2])

    def testEntryNamedAboveTheInstallationWritesNothingThere(self):
        self.AssertRefused(MakeArchive([SOUND_FIRST, ("../escaped.txt", b"x", STAMP)]))
        self.assertFalse(os.path.exists(os.path.join(self.WorkDir, "escaped.txt")))

    def testEntryNamedOnAnotherDriveWritesNothingThere(self):
        # A drive and a relative name: the current folder of drive C:, its root here.
        name = "escaped-%s.txt" % os.path.basename(self.WorkDir)
        self.AssertRefused(MakeArchive([SOUND_FIRST, ("C:" + name, b"x", STAMP)]))
        drive_c = os.path.join(self.Config.WinePrefix, "drive_c")
        self.assertEqual([root for root, _, names in os.walk(drive_c) if name in names], [])

    def testEntryNamedForADevice(self):
        self.AssertRefused(MakeArchive([SOUND_FIRST, ("CON", b"x", STAMP)]))


class TOtherSpellingTest(TInstallingCase):
    """Names that Windows resolves to a path the installation already has are that path."""

    def testADoubledSeparatorReachesTheUsersFileAndAReleasePackedFromDotInstalls(self):
        # The entry a//b.txt replaces the user's a\b.txt as any entry would; the attempt fails at
        # an entry of an unknown method (12) and puts it back, in either order, six times.
        self.Installation.WriteFile("a/b.txt", b"the user's data", mtime=1600000000)
        self.Installation.WriteFile("a/keep.txt", b"kept", mtime=1600000000)
        before = self.Installation.Snapshot()
        archive = io.BytesIO()
        with zipfile.ZipFile(archive, "w") as writer:
            writer.writestr(zipfile.ZipInfo("a//b.txt", STAMP), b"the release's b")
            writer.writestr(zipfile.ZipInfo("z.bin", STAMP), b"z" * 100,
                            compress_type=zipfile.ZIP_BZIP2)
        result, path = self.InstallLocalArchive(archive.getvalue(), answers=["ok"])
        self.AssertConsoleLines(result, *Greeting(), LOCAL_ARCHIVE, CLOSING, CLOSED,
                                *FailedExtractionLines(path), LAUNCH)
        self.assertEqual(self.Installation.Snapshot(), before)
        self.assertFalse(os.path.exists(self.Installation.File("ZELKUPD.BAK")))
        self.AssertZelkLaunched()

        # What tar -a -cf release.zip . writes: every name "./name", the folder itself "./".
        packed = os.path.join(self.WorkDir, "packed")
        os.makedirs(os.path.join(packed, "a"))
        for name, data in (("a/b.txt", b"release b"), ("readme.txt", b"read me")):
            with open(os.path.join(packed, *name.split("/")), "wb") as release_file:
                release_file.write(data)
        release = os.path.join(self.WorkDir, "dot.zip")
        subprocess.run(["bsdtar", "--format", "zip", "-cf", release, "."], cwd=packed, check=True)
        with open(release, "rb") as dot:
            result, _ = self.InstallLocalArchive(dot.read())
        self.AssertConsoleLines(result, *Greeting(), LOCAL_ARCHIVE, CLOSING, CLOSED, LAUNCH)
        for name, data in (("a/b.txt", b"release b"), ("a/keep.txt", b"kept"),
                           ("readme.txt", b"read me")):
            with open(self.Installation.File(*name.split("/")), "rb") as installed:
                self.assertEqual(installed.read(), data, name)
        self.assertFalse(os.path.exists(self.Installation.File("ZELKUPD.BAK")))


class TLockedFileTest(TInstallingCase):
    def testFileHeldOpenWithoutSharingFailsSixTimesAndLeavesSettingsAndArchive(self):
        settings = self.WriteSettings(1)
        self.Installation.WriteFile("zelk.dat", b"release 155")
        # Held by a program that is not ZELK, so the updater does not close it.
        self.StartStandIn("locker.exe", folder=self.WorkDir, window="none",
                          lock=self.Installation.File("zelk.dat"), share="none")
        self.assertEqual(len(self.StandIns.RecordsOf("locked", "locker")), 1)
        data = MakeArchive([("readme.txt", b"read me", STAMP),
                            ("doc/history.txt", b"156: faster", STAMP),
                            ("help.txt", b"help", STAMP), SOUND_FIRST,
                            ("plugins/tool.dll", b"MZ" + bytes(100), STAMP)])
        before = self.Installation.Snapshot()
        result, url = self.InstallDownloadedArchive(data, answers=("yes", "ok"))
        archive = self.Installation.WindowsPath("zelk32_156.zip")
        self.AssertConsoleLines(result, *Greeting(PREV_FILE, DELETE), *DownloadLines(url),
                                CLOSING, CLOSED, *FailedExtractionLines(archive), LAUNCH)
        self.assertEqual(result.Boxes[1:], [EndNotice()])
        self.assertEqual(result.ExitCode, 0)
        self.assertEqual(self.Installation.SettingsBytes(), settings)
        with open(self.Installation.File("zelk32_156.zip"), "rb") as kept:
            self.assertEqual(kept.read(), data)
        with open(self.Installation.File("zelk.dat"), "rb") as held:
            self.assertEqual(held.read(), b"release 155")
        # Each attempt is all or nothing: neither the three files before the held fourth one nor
        # the entries after it are left, no folder the archive brought, and no backup.
        after = self.Installation.Snapshot()
        del after["zelk32_156.zip"]
        self.assertEqual(after, before)
        self.assertFalse(os.path.exists(self.Installation.File("doc")))
        self.assertFalse(os.path.exists(self.Installation.File("plugins")))
        self.assertFalse(os.path.exists(self.Installation.File("ZELKUPD.BAK")))
        self.AssertZelkLaunched()


if __name__ == "__main__":
    unittest.main()
