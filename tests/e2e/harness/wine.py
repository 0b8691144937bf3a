"""Windows programs under Wine through wine-run, each in a Unix process group of its own.

Wine starts the Windows children of a program (the updater the dialog helper starts, the ZELK it
launches) in the group of the program the test started, while the prefix's system processes and
the wine server run in sessions of their own. Stopping a group therefore ends everything one run
of a test started, and nothing of the other tests sharing the prefix.
"""

import os
import signal
import subprocess
import time


def _LiveMembers(group):
    members = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry, "rb") as stat:
                fields = stat.read().rsplit(b")", 1)[1].split()
        except OSError:
            continue
        # After the command's closing parenthesis: state, parent, process group.
        if int(fields[2]) == group and fields[0] != b"Z":
            members.append(int(entry))
    return members


class TWineProcess:
    def __init__(self, config, program, arguments, env, cwd, stdout, stderr):
        self.FPopen = subprocess.Popen(
            [config.WineRun, config.WinePrefix, program, *arguments],
            env=env,
            cwd=cwd,
            stdin=subprocess.DEVNULL,
            stdout=stdout,
            stderr=stderr,
            start_new_session=True,
        )

    @property
    def Group(self):
        return self.FPopen.pid

    @property
    def Stdout(self):
        """The reading end of its standard output, when that was a new pipe."""
        return self.FPopen.stdout

    def Wait(self, timeout):
        """The exit code, or None when the program still runs after `timeout` seconds."""
        try:
            return self.FPopen.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def Stop(self, grace=3.0):
        """Gives the group `grace` seconds to end by itself, then kills what is left of it. An
        empty group is left alone: its id may already be another's."""
        deadline = time.monotonic() + grace
        while _LiveMembers(self.Group) and time.monotonic() < deadline:
            time.sleep(0.05)
        if _LiveMembers(self.Group):
            try:
                os.killpg(self.Group, signal.SIGKILL)
            except ProcessLookupError:
                pass
        self.FPopen.wait(timeout=10)
