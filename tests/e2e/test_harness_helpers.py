"""Self-tests of the Windows helpers under Wine: the dialog helper never hangs and says when a run
did not go by the script, and the stand-in shows, refuses, hides and locks as asked."""

import os
import subprocess
import time
import unittest

from harness.case import TE2ECase
from harness.dialogs import EndNotice, Question
from harness.environment import WindowsPath
from harness.records import ReadRecords


class TDialogHelperTest(TE2ECase):
    def RunToEndNotice(self, answers):
        """A run whose only box is the end notice: a local archive that does not exist."""
        return self.RunUpdater(self.Installation.WindowsPath("none.zip"), answers=answers,
                               allow_helper_failures=True)

    def testUnscriptedBoxIsRecordedAndClosedAsAFailure(self):
        result = self.RunToEndNotice([])
        self.assertEqual(result.Boxes, [EndNotice()])
        self.assertEqual(result.Answers, ["ok"])
        self.assertEqual(result.HelperFailures, ["box 1 was not scripted; closed with ok"])
        self.assertEqual(result.ExitCode, 0)

    def testAnswerForAMissingButtonOrAMissingBoxIsAFailure(self):
        result = self.RunToEndNotice(["yes", "ok"])
        self.assertEqual(result.Answers, ["ok"])
        self.assertEqual(
            result.HelperFailures,
            ["box 1 has no button 'yes'",
             "scripted answer 2 ('ok') was never used: no box came for it"],
        )

    def testDefaultPressesTheButtonStyledAsDefault(self):
        result = self.RunUpdater(self.Server.Url("zelk32_155.zip"), answers=["default", "ok"])
        self.assertEqual(result.Boxes[0], Question("『 zelk32_155.zip 』が対象です.", default="yes"))
        self.assertEqual(result.Answers[0], "yes")

    def testArgumentsReachTheProgramUnchanged(self):
        # The updater's own cases need these intact: an empty argument, blanks in paths, quotes
        # and backslashes where the quoting rules treat them specially, and Japanese text.
        arguments = ["", "Z:\\ゼルク dl\\zelk32_155.zip", 'say "yes"', "trailing\\", 'a\\"b',
                     "\\\\server\\x"]
        self.StandIns.Configure("zelk-stand-in", window="none", lifetime_ms=200)
        result = self.RunUpdater(*arguments, updater=self.Config.StandIn)
        self.assertEqual(result.ExitCode, 0)
        self.assertEqual(self.StandIns.RecordsOf("started", "zelk-stand-in")[0]["arguments"],
                         arguments)

    def testProgramThatOutlivesItsTimeIsTerminated(self):
        self.StandIns.Configure("zelk-stand-in", window="refuse")
        result = self.RunUpdater(updater=self.Config.StandIn, timeout=2, allow_helper_failures=True)
        self.assertTrue(result.TimedOut)
        self.assertEqual(result.ExitCode, 258)
        self.assertEqual(result.HelperFailures,
                         ["the program did not end within 2000 ms and was terminated"])


class TStandInTest(TE2ECase):
    def ProbeWindows(self, pid, close=False):
        """The stand-in's own top-level windows, as the window probe lists them; Wine gives every
        GUI thread a hidden IME window too, which is left out."""
        log = os.path.join(self.WorkDir, "probe-%d-%s.log" % (pid, close))
        arguments = ["--record", WindowsPath(log), "--pid", str(pid)]
        arguments += ["--close", "yes" if close else "no"]
        probe = self.StartWine(self.Config.WindowProbe, arguments, subprocess.DEVNULL,
                               subprocess.DEVNULL)
        self.assertEqual(probe.Wait(30), 0)
        return [(record["visible"], record["owned"], record["closed"])
                for record in ReadRecords(log)
                if record["record"] == "window" and record["class"] == "ZelkStandIn"]

    def StartLocker(self, name, path, share):
        """A windowless stand-in outside the installation that holds `path` open."""
        return self.StartStandIn(name, folder=self.WorkDir, window="none", lock=path, share=share)

    def testStartRecordsTheCommandLineAndTheWorkingFolder(self):
        self.Installation.AddStandIn("ZELK.EXE")
        started = self.StartStandIn("ZELK.EXE", window="close")
        self.assertEqual(started["exe"].upper(), self.Installation.WindowsPath("ZELK.EXE").upper())
        self.assertEqual(started["cwd"].upper(), WindowsPath(self.WorkDir).upper())
        self.assertIn("--window close", started["command_line"])
        self.assertEqual(started["window"], "close")

    def testSideFileChoosesTheModeOfACopyStartedWithoutArguments(self):
        self.StandIns.Configure("ZELKCFG", window="hidden", lifetime_ms=20000)
        started = self.StartStandIn("ZELKCFG.EXE")
        self.assertEqual(started["window"], "hidden")
        self.assertNotIn("problems", started)
        self.assertEqual(self.StandIns.RecordsOf("started", "ZELK"), [])

    def testClosingWindowEndsAfterItsDelayFromTheFirstRequest(self):
        started = self.StartStandIn(window="close", close_delay_ms=1000)
        self.assertEqual(self.ProbeWindows(started["pid"], close=True), [(True, False, True)])
        first = self.StandIns.WaitForRecords("close_requested")[0]
        time.sleep(0.4)
        self.ProbeWindows(started["pid"], close=True)
        ended = self.StandIns.WaitForRecords("exit")[0]
        self.assertEqual(ended["reason"], "closed")
        self.assertGreaterEqual(ended["tick"] - first["tick"], 1000)
        # A later request, as the updater repeats them every 100 ms, does not start the delay anew.
        for later in self.StandIns.RecordsOf("close_requested")[1:]:
            self.assertLess(ended["tick"] - later["tick"], 1000)

    def testRefusingWindowStaysAfterTheCloseRequest(self):
        started = self.StartStandIn(window="refuse")
        self.ProbeWindows(started["pid"], close=True)
        self.StandIns.WaitForRecords("close_requested")
        self.assertEqual(self.ProbeWindows(started["pid"]), [(True, False, False)])
        self.assertEqual(self.StandIns.RecordsOf("exit"), [])

    def testHiddenAndOwnedWindowsAreNotForTheUpdaterToClose(self):
        hidden = self.StartStandIn(window="hidden")
        owned = self.StartStandIn(window="owned")
        self.assertEqual(self.ProbeWindows(hidden["pid"], close=True), [(False, False, False)])
        self.assertEqual(sorted(self.ProbeWindows(owned["pid"], close=True)),
                         [(False, False, False), (True, True, False)])

    def testLockedFileKeepsOthersOutUnlessReadSharingIsAllowed(self):
        target = self.Installation.WriteFile("ZELK.dat", b"data")
        self.StartLocker("locker-a.exe", target, "none")
        self.StartLocker("locker-b.exe", target, "read")
        self.assertEqual(self.StandIns.RecordsOf("locked", "locker-a")[0]["share"], "none")
        self.assertEqual(self.StandIns.RecordsOf("lock_failed", "locker-b")[0]["error"], 32)
        other = self.Installation.WriteFile("other.dat", b"data")
        self.StartLocker("locker-c.exe", other, "read")
        self.StartLocker("locker-d.exe", other, "read")
        self.assertEqual(len(self.StandIns.RecordsOf("locked", "locker-d")), 1)

    def testQuitFileEndsEveryStandIn(self):
        self.StartStandIn(window="refuse")
        self.StartStandIn("locker.exe", folder=self.WorkDir, window="none")
        self.StandIns.Quit()
        self.assertEqual(self.StandIns.WaitForRecords("exit")[0]["reason"], "quit")
        self.assertEqual(self.StandIns.WaitForRecords("exit", name="locker")[0]["reason"], "quit")


if __name__ == "__main__":
    unittest.main()
