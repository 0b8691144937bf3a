"""The side folder of the stand-in programs (ZELK_STAND_IN_DIR in the updater's environment, which
the programs it launches inherit): a mode file and a log per program name, and the quit file that
ends every stand-in of the test."""

import os
import time

from harness.environment import WindowsPath
from harness.records import ReadRecords


# The options whose values are paths, given as Unix paths and passed on as Windows ones.
PATH_OPTIONS = ("lock", "replace", "replace_with")


class TStandInFolder:
    def __init__(self, root):
        self.Path = os.path.join(root, "stand-in")
        os.makedirs(self.Path)

    @property
    def WindowsPath(self):
        return WindowsPath(self.Path)

    def Configure(self, name="ZELK", **settings):
        """The mode of every stand-in copy called NAME.EXE started from now on: window (close,
        refuse, hidden, owned, none), close_delay_ms, lock (a path), share (none, read), access
        (read, write), replace and replace_with (paths: at the first close request the one is
        replaced by the other), replace_by (move, copy), lifetime_ms."""
        lines = []
        for key, value in settings.items():
            if key in PATH_OPTIONS and value.startswith("/"):
                value = WindowsPath(value)
            lines.append("%s=%s\n" % (key, value))
        with open(os.path.join(self.Path, name + ".ini"), "w", encoding="utf-8") as side_file:
            side_file.writelines(lines)

    def Records(self, name="ZELK"):
        return ReadRecords(os.path.join(self.Path, name + ".log"))

    def RecordsOf(self, kind, name="ZELK"):
        return [record for record in self.Records(name) if record["record"] == kind]

    def WaitForRecords(self, kind, count=1, name="ZELK", timeout=15.0):
        """The first `count` records of that kind, once there are as many."""
        deadline = time.monotonic() + timeout
        while True:
            found = self.RecordsOf(kind, name)
            if len(found) >= count:
                return found[:count]
            if time.monotonic() >= deadline:
                raise AssertionError(
                    "stand-in %s logged %d '%s' records within %.0f s, not %d: %r"
                    % (name, len(found), kind, timeout, count, self.Records(name))
                )
            time.sleep(0.05)

    def Quit(self):
        open(os.path.join(self.Path, "quit"), "wb").close()
