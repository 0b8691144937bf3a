"""Closing the running ZELK programs before the extraction: ZELK.EXE windows of the installation
are asked to close and their processes waited for, one that refuses costs the full waits and is
extracted over anyway, ZELKCFG.EXE is asked once and waited for at once, and hidden windows,
owned windows and a ZELK.EXE of another folder are left alone, whatever the bitness of ZELK."""

import os
import unittest

from harness.content import MakeArchive
from harness.environment import OTHER_BITNESS
from harness.installing import (CLOSED, CLOSING, LAUNCH, LOCAL_ARCHIVE, TIMED_OUT, Greeting,
                                TInstallingCase)

RELEASE = [("zelk.dat", b"release 156", (2024, 5, 17, 9, 30, 12))]

# Final waits of 3000 ms for each of the 20 slots, after the 2000 ms wait of the 21st request.
REFUSED_WAIT_MS = 2000 + 20 * 3000


class TClosingTest(TInstallingCase):
    def setUp(self):
        super().setUp()
        self.Held = self.Installation.WriteFile("zelk.dat", b"release 155")

    def Install(self, closed=CLOSED, **run_options):
        """A run that installs a local archive, reporting the closing with `closed`."""
        result, _ = self.InstallLocalArchive(MakeArchive(RELEASE), **run_options)
        self.AssertConsoleLines(result, *Greeting(), LOCAL_ARCHIVE, CLOSING, closed, LAUNCH)
        self.assertEqual(result.ExitCode, 0)
        self.assertEqual(result.Boxes, [])
        with open(self.Held, "rb") as installed:
            self.assertEqual(installed.read(), b"release 156")

    def AssertLingered(self, linger_ms, name="ZELK"):
        """The stand-in's window went on a close request and its process that long after, so the
        extraction that did not fail came after the process's end."""
        closed = self.StandIns.RecordsOf("window_closed", name)
        ended = self.StandIns.RecordsOf("exit", name)
        self.assertEqual(len(closed), 1)
        self.assertEqual([record["reason"] for record in ended], ["closed"])
        self.assertGreaterEqual(ended[0]["tick"] - closed[0]["tick"], linger_ms - 50)

    def testZelkIsAskedToCloseAndItsProcessAwaitedBeforeExtraction(self):
        # The window goes 600 ms after the first request; the process, still holding the file
        # the archive replaces, ends 1500 ms after that. Extracting before its end would fail.
        self.StartStandIn(window="close", close_delay_ms=600, linger_ms=1500, lock=self.Held,
                          share="none")
        self.assertEqual(len(self.StandIns.RecordsOf("locked")), 1)
        self.Install()
        requests = self.StandIns.RecordsOf("close_requested")
        # Found again, and asked again, while its window took longer than 100 ms to go.
        self.assertGreaterEqual(len(requests), 2)
        self.AssertLingered(1500)
        self.AssertZelkLaunched()

    def testZelkThatRefusesIsAskedTwentyOneTimesThenTimesOutAndIsExtractedOver(self):
        # Its lifetime outlasts every wait, which would otherwise end early with the process.
        self.StartStandIn(window="refuse", lifetime_ms=REFUSED_WAIT_MS + 60000)
        self.Install(TIMED_OUT, timeout=REFUSED_WAIT_MS / 1000 + 40)
        requests = self.StandIns.RecordsOf("close_requested")
        self.assertEqual([record["count"] for record in requests], list(range(1, 22)))
        # 100 ms after each request that found the window.
        self.assertGreaterEqual(requests[-1]["tick"] - requests[0]["tick"], 20 * 100 - 50)
        launched = self.AssertZelkLaunched()
        waited = launched["tick"] - requests[-1]["tick"]
        self.assertGreaterEqual(waited, REFUSED_WAIT_MS)
        self.assertLess(waited, REFUSED_WAIT_MS + 15000)
        self.assertEqual(self.StandIns.RecordsOf("exit"), [])

    def testConfigProgramIsAskedOnceAndAwaitedAtOnceButNotAtTheEnd(self):
        self.StartStandIn("ZELKCFG.EXE", window="refuse")
        # Its process is never recorded for the final wait, so no time-out is reported.
        self.Install()
        requests = self.StandIns.RecordsOf("close_requested", "ZELKCFG")
        self.assertEqual(len(requests), 1)
        launched = self.AssertZelkLaunched()
        self.assertGreaterEqual(launched["tick"] - requests[0]["tick"], 2000 - 50)

    def testConfigProgramIsAwaitedBeforeTheExtraction(self):
        # Its window goes at once, its process and the file it holds 1000 ms later.
        self.StartStandIn("ZELKCFG.EXE", window="close", linger_ms=1000, lock=self.Held,
                          share="none")
        self.assertEqual(len(self.StandIns.RecordsOf("locked", "ZELKCFG")), 1)
        self.Install()
        self.assertEqual(len(self.StandIns.RecordsOf("close_requested", "ZELKCFG")), 1)
        self.AssertLingered(1000, "ZELKCFG")
        self.AssertZelkLaunched()

    def testHiddenAndOwnedWindowsAreLeftAlone(self):
        self.StartStandIn(window="hidden")
        self.StartStandIn(window="owned")
        self.Install()
        self.assertEqual(self.StandIns.RecordsOf("close_requested"), [])
        self.assertEqual(self.StandIns.RecordsOf("exit"), [])
        self.AssertZelkLaunched()

    def testZelkOfAnotherFolderIsLeftAlone(self):
        other = os.path.join(self.WorkDir, "other")
        os.makedirs(other)
        self.StartStandIn(folder=other, window="close")
        self.Install()
        self.assertEqual(self.StandIns.RecordsOf("close_requested"), [])
        self.assertEqual(self.StandIns.RecordsOf("exit"), [])
        self.AssertZelkLaunched()



class TOtherBitnessClosingTest(TClosingTest):
    """The same closing beside ZELK programs of the other bitness. A refusing ZELK is left to the
    class above: it only adds a minute of waits, found the same way."""

    STAND_IN = OTHER_BITNESS
    testZelkThatRefusesIsAskedTwentyOneTimesThenTimesOutAndIsExtractedOver = None

if __name__ == "__main__":
    unittest.main()
