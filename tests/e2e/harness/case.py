"""The base of every end-to-end test: a folder of the test's own holding the installation, the
stand-in side folder, the outputs of each run and the recycle bin, a loopback server of its own,
and the runs of the real zelkupd.exe under the dialog helper."""

import dataclasses
import itertools
import os
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import unittest

from harness.codepage import Readable
from harness.content import TIMEZONE
from harness.dialogs import ReadDialogLog
from harness.environment import DEFAULT, SAME_BITNESS, LoadConfig, WindowsPath
from harness.http_server import TLoopbackServer
from harness.installation import TInstallation
from harness.stand_in import PATH_OPTIONS, TStandInFolder
from harness.wine import TWineProcess

# Variables of the machine's environment that would change what the updater does under test.
_FOREIGN_VARIABLES = {"http_proxy", "https_proxy", "all_proxy", "no_proxy", "ftp_proxy", "zelk"}


@dataclasses.dataclass
class TRunResult:
    ExitCode: int  # the updater's, as the dialog helper saw it
    Stdout: bytes
    Stderr: bytes
    Boxes: list  # TBox of each message box, in order
    Answers: list
    HelperFailures: list
    TimedOut: bool
    Requests: list  # TRequest of each request the server had during the run
    Folder: str  # where the run's outputs are kept


class _TPipeReader:
    """Collects what a pipe delivers until its end, in a thread of its own."""

    def __init__(self, pipe):
        self.FPipe = pipe
        self.FData = bytearray()
        self.FLock = threading.Lock()
        self.FThread = threading.Thread(target=self.Read, daemon=True)
        self.FThread.start()

    def Read(self):
        for block in iter(lambda: self.FPipe.read1(65536), b""):
            with self.FLock:
                self.FData += block

    def Data(self, timeout):
        """What has arrived, once the pipe has ended or `timeout` seconds have passed: a program
        the updater launched may hold the pipe open long after the updater wrote its last byte."""
        self.FThread.join(timeout)
        with self.FLock:
            return bytes(self.FData)


class TE2ECase(unittest.TestCase):
    # The build of zelkupd.exe the test's installation holds (harness.environment).
    BUILD = DEFAULT
    # The bitness of the stand-in ZELK beside it (harness.environment).
    STAND_IN = SAME_BITNESS

    def setUp(self):
        self.Config = LoadConfig()
        os.makedirs(self.Config.WorkDir, exist_ok=True)
        name = self.id().rsplit(".", 1)[-1][:40]
        self.WorkDir = tempfile.mkdtemp(prefix=name + "-", dir=self.Config.WorkDir)
        if not os.environ.get("ZELKUPD_E2E_KEEP"):
            self.addCleanup(shutil.rmtree, self.WorkDir, True)
        updater, self.SiteUrl = self.Config.Build(self.BUILD)
        self.Server = TLoopbackServer(self.SiteUrl, certificates=self.Config.TlsDir)
        self.addCleanup(self.Server.Stop)
        self.StandInProgram, self.StandInPointerBytes = self.Config.StandInProgram(self.STAND_IN)
        self.Installation = TInstallation(self.Config, self.WorkDir, updater, self.StandInProgram)
        self.StandIns = TStandInFolder(self.WorkDir)
        self.TrashHome = os.path.join(self.WorkDir, "xdg-data")
        # Wine makes the Trash folder below it, but not the data folder itself: without it the
        # shell finds no recycle bin and offers to delete for good instead.
        os.makedirs(self.TrashHome)
        self.FProcesses = []
        self.FRunNumbers = itertools.count(1)
        self.addCleanup(self.StopProcesses)

    def StopProcesses(self):
        self.StandIns.Quit()
        for process in self.FProcesses:
            process.Stop()

    def Environment(self, extra=None):
        """The environment of every Windows program of the test: the machine's, without proxy
        settings of its own, with this test's server as the HTTP proxy, its stand-in folder and
        its own XDG data folder (Wine's recycle bin is $XDG_DATA_HOME/Trash), in the tests' time
        zone."""
        env = {key: value for key, value in os.environ.items()
               if key.lower() not in _FOREIGN_VARIABLES}
        env["http_proxy"] = self.Server.ProxyUrl
        env["ZELK_STAND_IN_DIR"] = self.StandIns.WindowsPath
        env["XDG_DATA_HOME"] = self.TrashHome
        env["TZ"] = TIMEZONE
        env.update(extra or {})
        return env

    def StartWine(self, program, arguments, stdout, stderr, cwd=None, env=None):
        process = TWineProcess(self.Config, program, arguments, self.Environment(env),
                               cwd or self.WorkDir, stdout, stderr)
        self.FProcesses.append(process)
        return process

    def StartStandIn(self, name="ZELK.EXE", folder=None, **options):
        """Starts a stand-in copy called `name` in `folder` (the installation by default) before
        the updater runs, with `options` on its command line (see TStandInFolder.Configure), and
        returns its "started" record once it has made its window."""
        path = os.path.join(folder or self.Installation.Path, name)
        if not os.path.exists(path):
            shutil.copy2(self.StandInProgram, path)
        base = os.path.splitext(name)[0]
        count = len(self.StandIns.RecordsOf("ready", base)) + 1
        arguments = []
        for key, value in options.items():
            if key in PATH_OPTIONS and value.startswith("/"):
                value = WindowsPath(value)
            arguments += ["--" + key.replace("_", "-"), str(value)]
        with open(os.path.join(self.WorkDir, "%s-%d.out" % (base, count)), "wb") as output:
            self.StartWine(path, arguments, output, subprocess.STDOUT)
        pid = self.StandIns.WaitForRecords("ready", count, base)[-1]["pid"]
        started = next(record for record in self.StandIns.RecordsOf("started", base)
                       if record["pid"] == pid)
        self.assertEqual(started["pointer_bytes"], self.StandInPointerBytes, started)
        return started

    def RunUpdater(self, *arguments, answers=(), stdout="file", cwd=None, env=None, timeout=60,
                   updater=None, allow_helper_failures=False):
        """Runs the updater with `arguments` under the dialog helper, which presses `answers` in
        order, one per message box ("yes", "no", "cancel", "ok", "default" or "close").

        stdout: "file" (a disk file), "pipe", "none" (no standard output handle at all), or
        "broken-pipe" (a pipe whose reading end is already closed). `updater` runs another
        program in its place. Unless allow_helper_failures, a run that did not go by the script
        fails the test."""
        folder = os.path.join(self.WorkDir, "run-%d" % next(self.FRunNumbers))
        os.makedirs(folder)
        log_path = os.path.join(folder, "dialogs.log")
        helper_arguments = self.HelperArguments(log_path, answers, stdout, cwd, timeout)
        helper_arguments += ["--", WindowsPath(updater or self.Installation.UpdaterPath)]
        helper_arguments += arguments
        requests_before = len(self.Server.Requests())
        output, errors = self.RunHelper(helper_arguments, folder, stdout, cwd, env, timeout)

        log = ReadDialogLog(log_path)
        result = TRunResult(log.ExitCode, output, errors, log.Boxes, log.Answers, log.Failures,
                            log.TimedOut, self.Server.Requests()[requests_before:], folder)
        if not log.Ended:
            self.fail("the dialog helper ended without its end record\n" + self.Describe(result))
        if log.Failures and not allow_helper_failures:
            self.fail("the run did not go by the script:\n  " + "\n  ".join(log.Failures) + "\n"
                      + self.Describe(result))
        return result

    def KillRunOnceFileHolds(self, path, size, *arguments, answers=("yes",)):
        """Starts a run of the updater with `arguments` under the dialog helper, which presses
        `answers`, and kills it, the whole process group at once as a power cut would, once the
        file at `path` holds `size` bytes: a download stopped mid-way."""
        log = os.path.join(self.WorkDir, "killed.log")
        helper_arguments = self.HelperArguments(log, answers, "file", None, 60)
        helper_arguments += ["--", WindowsPath(self.Installation.UpdaterPath), *arguments]
        with open(os.path.join(self.WorkDir, "killed.out"), "wb") as output:
            process = self.StartHelper(helper_arguments, output, output, None, None)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            if os.path.exists(path) and os.path.getsize(path) == size:
                os.killpg(process.Group, signal.SIGKILL)
                process.Stop(grace=10)
                return
            time.sleep(0.01)
        self.fail("%s never held %d bytes" % (path, size))

    def HelperArguments(self, log_path, answers, stdout, cwd, timeout):
        arguments = ["--record", WindowsPath(log_path), "--timeout-ms", str(int(timeout * 1000))]
        for answer in answers:
            arguments += ["--answer", answer]
        # For a person watching the boxes on a real display (see README.md).
        if os.environ.get("ZELKUPD_E2E_ANSWER_DELAY_MS"):
            arguments += ["--answer-delay-ms", os.environ["ZELKUPD_E2E_ANSWER_DELAY_MS"]]
        if stdout == "none":
            arguments += ["--stdout", "none"]
        if cwd:
            arguments += ["--cwd", WindowsPath(cwd)]
        return arguments

    def RunHelper(self, arguments, folder, stdout, cwd, env, timeout):
        """Runs the dialog helper with the standard output of that kind and returns the bytes of
        standard output and standard error, both also kept in the run's folder."""
        stdout_path = os.path.join(folder, "stdout.bin")
        stderr_path = os.path.join(folder, "stderr.bin")
        reader = None
        with open(stderr_path, "wb") as errors:
            if stdout in ("file", "none"):
                with open(stdout_path, "wb") as output:
                    process = self.StartHelper(arguments, output, errors, cwd, env)
            elif stdout == "pipe":
                process = self.StartHelper(arguments, subprocess.PIPE, errors, cwd, env)
                reader = _TPipeReader(process.Stdout)
            elif stdout == "broken-pipe":
                reading, writing = os.pipe()
                os.close(reading)
                process = self.StartHelper(arguments, writing, errors, cwd, env)
                os.close(writing)
            else:
                raise ValueError("unknown kind of standard output: %r" % stdout)
        if process.Wait(timeout + 30) is None:
            process.Stop(grace=0)
            self.fail("the dialog helper did not end within %d s" % (timeout + 30))
        if reader is not None:
            with open(stdout_path, "wb") as output:
                output.write(reader.Data(timeout=2))
        output = b""
        if os.path.exists(stdout_path):
            with open(stdout_path, "rb") as stdout_file:
                output = stdout_file.read()
        with open(stderr_path, "rb") as stderr_file:
            return output, stderr_file.read()

    def StartHelper(self, arguments, stdout, stderr, cwd, env):
        return self.StartWine(self.Config.DialogHelper, arguments, stdout, stderr, cwd, env)

    def Describe(self, result):
        """A run's outputs for a failure message."""
        lines = ["exit code: %r" % result.ExitCode, "standard output:"]
        lines += ["  | " + line for line in Readable(result.Stdout).split("\r\n")]
        lines += ["standard error:"]
        lines += ["  | " + line for line in Readable(result.Stderr).split("\r\n")]
        lines += ["boxes: %r" % (result.Boxes,), "answers: %r" % (result.Answers,)]
        lines += ["requests: %r" % ([request.Url for request in result.Requests],)]
        kept = "" if os.environ.get("ZELKUPD_E2E_KEEP") else " (ZELKUPD_E2E_KEEP=1 keeps them)"
        lines += ["outputs in " + result.Folder + kept]
        return "\n".join(lines)

    def AssertConsole(self, result, expected):
        """The console bytes exactly, shown decoded with the run's outputs when they differ."""
        if result.Stdout != expected:
            offset = next(
                (i for i, (a, b) in enumerate(zip(result.Stdout, expected)) if a != b),
                min(len(result.Stdout), len(expected)),
            )
            self.fail(
                "console bytes differ from byte %d on\nexpected:\n  | %s\n%s"
                % (offset, "\n  | ".join(Readable(expected).split("\r\n")), self.Describe(result))
            )
