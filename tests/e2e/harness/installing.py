"""Runs that reach the installation phase: the lines they print, the archive they install (named on
the command line or downloaded) and the ZELK.EXE they start at their end."""

import os
import re
import time

from harness.case import TE2ECase
from harness.codepage import LINE_END, Cp932
from harness.dialogs import Question
from harness.environment import WindowsPath
from harness.http_server import Archive

# The row of "#" marks of a download: one mark per block that WinINet hands over, so their number
# is WinINet's to choose; the row is checked as one mark or more.
MARKS = object()

KEEP = "保持されます."
DELETE = "削除されます."
RECYCLE = "ゴミ箱へ投棄されます."

LOCAL_ARCHIVE = "ローカルのアーカイブファイルが指定されました."
CLOSING = "起動中の ゼルク を終了..."
CLOSED = "起動中の ゼルク を終了完了."
TIMED_OUT = "終了待ちタイムアウト発生."
LAUNCH = "ゼルク を起動..."
LAST_RESORT = "何はともあれ ゼルク の起動を試みます."

# The last update's archive of the settings that WriteSettings writes; the archives installed here
# are newer.
PREV_FILE = "zelk32_155.zip"

def Greeting(prev_file="", disposal=KEEP):
    """The start of every run: the last update's file when there was one, the greeting and the
    disposal line."""
    lines = ["『 " + prev_file + " 』が前回アップデートしたファイルです."] if prev_file else []
    return tuple(lines + ["ゼルク のアップデートを試みます.", "", "ダウンロードしたアーカイブは" + disposal])


def DownloadLines(url):
    """An archive URL on the command line, answered Yes, downloaded."""
    return ("サーバ上のアーカイブファイルが指定されました.", "　→ " + url, url + " を取得中...", MARKS,
            "取得完了.")


def FailedExtractionLines(archive_path):
    """Six failed attempts, each with its failure line, the first five each followed by a numbered
    retry line, then the line before the launch."""
    failed = archive_path + " の展開に失敗しました."
    lines = []
    for attempt in range(1, 6):
        lines += [failed, "展開に失敗しました. リトライします. (%d)" % attempt]
    return tuple(lines + [failed, LAST_RESORT])


def ConsolePattern(lines):
    """The console bytes of these lines exactly, MARKS standing for a row of one "#" or more."""
    return re.compile(b"".join(rb"#+" + re.escape(LINE_END) if line is MARKS
                               else re.escape(Cp932(line) + LINE_END) for line in lines))


class TInstallingCase(TE2ECase):
    """A test whose runs install: the installation holds a stand-in ZELK.EXE for the updater to
    start, which comes up without a window unless the test configures it otherwise."""

    def setUp(self):
        super().setUp()
        self.Installation.AddStandIn("ZELK.EXE")
        self.StandIns.Configure("ZELK", window="none")
        self.FStartedByTest = set()

    def StartStandIn(self, name="ZELK.EXE", folder=None, **options):
        started = super().StartStandIn(name, folder, **options)
        self.FStartedByTest.add(started["pid"])
        return started

    def WriteSettings(self, delete_mode):
        """A hand-written settings file naming PREV_FILE and the DELETE mode; its bytes."""
        text = "[ZELK]\r\nPREV_FILE=%s\r\nDELETE=%d\r\n" % (PREV_FILE, delete_mode)
        self.Installation.WriteSettings(text)
        return self.Installation.SettingsBytes()

    def WriteLocalArchive(self, data, name="zelk32_156.zip"):
        """An archive outside the installation, as a user downloaded it; its Windows path."""
        path = os.path.join(self.WorkDir, "dl", name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as archive:
            archive.write(data)
        return WindowsPath(path)

    def InstallLocalArchive(self, data, **run_options):
        """A run that installs `data` as a local archive named on the command line; the run's
        result and the archive's Windows path."""
        archive = self.WriteLocalArchive(data)
        return self.RunUpdater(archive, **run_options), archive

    def InstallDownloadedArchive(self, data, name="zelk32_156.zip", answers=("yes",),
                                 **run_options):
        """A run that downloads `data` from its archive URL and installs it, answering the
        question (the one of a newer release than PREV_FILE, as WriteSettings writes it) with
        `answers`; the run's result and the archive's URL."""
        self.Server.Route(name, Archive(data))
        url = self.Server.Url(name)
        result = self.RunUpdater(url, answers=answers, **run_options)
        self.assertEqual(result.Boxes[0], Question("『 " + name + " 』が対象です.",
                                                   "前回アップデートしたファイルよりも新しいです.",
                                                   default="yes"))
        return result, url

    def AssertConsoleLines(self, result, *lines):
        """The console bytes are these lines exactly (MARKS: the row of a download's marks)."""
        if not ConsolePattern(lines).fullmatch(result.Stdout):
            shown = ["#..." if line is MARKS else line for line in lines]
            self.fail("console differs from\n  | %s\n%s" % ("\n  | ".join(shown),
                                                           self.Describe(result)))

    def LaunchedZelk(self):
        """The "started" records of the ZELK.EXE copies in the installation that the test did not
        start itself: the ones the updater started."""
        own = self.Installation.WindowsPath("ZELK.EXE").upper()
        return [record for record in self.StandIns.RecordsOf("started")
                if record["exe"].upper() == own and record["pid"] not in self.FStartedByTest]

    def AssertZelkLaunched(self):
        """The updater started ZELK.EXE of the installation once, from that folder as working
        folder, without arguments, shown normally. The updater does not wait for it, so its
        record may come after the run's end."""
        deadline = time.monotonic() + 15
        while not self.LaunchedZelk() and time.monotonic() < deadline:
            time.sleep(0.05)
        launched = self.LaunchedZelk()
        self.assertEqual(len(launched), 1, launched)
        self.assertEqual(launched[0]["cwd"].rstrip("\\").upper(),
                         self.Installation.WindowsPath().rstrip("\\").upper())
        self.assertEqual(launched[0]["arguments"], [])
        self.assertEqual(launched[0]["show"], 1)  # SW_SHOWNORMAL
        self.assertEqual(launched[0]["pointer_bytes"], self.StandInPointerBytes)
        return launched[0]

    def AssertZelkNotLaunched(self):
        # A program the updater started logs its start within a second here; give it two.
        time.sleep(2)
        self.assertEqual(self.LaunchedZelk(), [])
