#!/usr/bin/env python3
"""One update shown from end to end, for scripts/demo: a sample ZELK installation (release 155,
with a stand-in ZELK.EXE running), a newer sample release (156: a release page and a ZIP) served
on loopback, and the real zelkupd.exe run once under Wine. Then what changed: the console output,
the installation's files with their times, the settings file and the server's log.

    demo_update.py BUILD_DIR [--x11]

Headless, the download question is answered by the dialog helper. With --x11 the updater runs on
its own with its windows on $DISPLAY, and you answer the question yourself.

The updater keeps its built-in site URL: the loopback server is its HTTP proxy (http_proxy), as in
the end-to-end tests. Every program started here is stopped by its own process group, and the Wine
prefix kept for the demo (BUILD_DIR/demo/wineprefix) by wineserver -k for that prefix alone.
"""

import json
import os
import shutil
import subprocess
import sys
import time
import types
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from harness.content import MakeArchive, ReleasePage  # noqa: E402
from harness.environment import WindowsPath  # noqa: E402
from harness.http_server import TLoopbackServer  # noqa: E402
from harness.wine import TWineProcess  # noqa: E402

WINE_RUN = os.path.join(ROOT, "tests", "wine", "wine-run")
SETTINGS = "[ZELK]\r\nPREV_FILE=zelk32_155.zip\r\nDOWN_PATH=%zelk%\\download\r\n"
OLD_TIME = (2023, 11, 20, 21, 0, 0)
NEW_TIME = (2024, 3, 1, 9, 30, 0)


def LocalEpoch(date_time):
    return time.mktime(tuple(date_time) + (0, 0, -1))


def ReadFile(path):
    with open(path, "rb") as source:
        return source.read()


def SiteUrl(build):
    """The site base URL the build compiled in."""
    with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8") as cache:
        for line in cache:
            if line.startswith("ZELKUPD_SITE_URL:"):
                return line.split("=", 1)[1].strip()
    raise RuntimeError("no ZELKUPD_SITE_URL in the build's CMake cache")


def Say(text=""):
    print(text, flush=True)


class TDemo:
    def __init__(self, build, x11):
        self.FBuild = build
        self.FX11 = x11
        self.Folder = os.path.join(build, "demo")
        self.Install = os.path.join(self.Folder, "install")
        self.Site = os.path.join(self.Folder, "site")
        self.SiteUrl = SiteUrl(build)
        # The server answers a URL with the file its path names below the site folder.
        site_path = urllib.parse.urlsplit(self.SiteUrl).path
        self.SiteBase = os.path.join(self.Site, *site_path.split("/"))
        self.StandIns = os.path.join(self.Folder, "stand-in")
        self.Prefix = os.path.join(self.Folder, "wineprefix-x11" if x11 else "wineprefix")
        self.FProcesses = []
        self.FServer = None

    # The scene.

    def MakeScene(self):
        for name in ("install", "site", "stand-in", "run"):
            shutil.rmtree(os.path.join(self.Folder, name), ignore_errors=True)
            os.makedirs(os.path.join(self.Folder, name))
        stand_in = os.path.join(self.FBuild, "tests", "windows", "zelk-stand-in.exe")
        shutil.copy2(os.path.join(self.FBuild, "zelkupd.exe"), self.Install)
        self.WriteInstalled("ZELK.EXE", ReadFile(stand_in))
        self.WriteInstalled("readme.txt", "ゼルク 155\r\n".encode("cp932"))
        self.WriteInstalled("zelk.dat", b"155" * 100)
        with open(os.path.join(self.Install, "zelkupd.INI"), "wb") as settings:
            settings.write(SETTINGS.encode("cp932"))
        os.makedirs(os.path.join(self.SiteBase, "zip"))
        with open(os.path.join(self.SiteBase, "vum_zelk.html"), "wb") as page:
            page.write(ReleasePage("zip/zelk32_156.zip"))
        release = MakeArchive([
            ("ZELK.EXE", ReadFile(stand_in), NEW_TIME),
            ("readme.txt", "ゼルク 156: 新しいリリース\r\n".encode("cp932"), NEW_TIME),
            ("zelk.dat", b"156" * 200, NEW_TIME),
            ("doc/", b"", NEW_TIME),
            ("doc/history.txt", b"156: the newer sample release\r\n", NEW_TIME),
        ])
        with open(os.path.join(self.SiteBase, "zip", "zelk32_156.zip"), "wb") as archive:
            archive.write(release)

    def WriteInstalled(self, name, data):
        path = os.path.join(self.Install, name)
        with open(path, "wb") as target:
            target.write(data)
        os.utime(path, (LocalEpoch(OLD_TIME), LocalEpoch(OLD_TIME)))

    def Files(self):
        files = {}
        for folder, _, names in os.walk(self.Install):
            for name in names:
                path = os.path.join(folder, name)
                status = os.stat(path)
                files[os.path.relpath(path, self.Install).replace(os.sep, "\\")] = (
                    status.st_size, time.strftime("%Y-%m-%d %H:%M:%S",
                                                  time.localtime(status.st_mtime)))
        return files

    def Settings(self):
        with open(os.path.join(self.Install, "zelkupd.INI"), "rb") as settings:
            return settings.read().decode("cp932")

    # Programs under Wine.

    def Environment(self):
        env = {key: value for key, value in os.environ.items()
               if key.lower() not in ("http_proxy", "https_proxy", "all_proxy", "no_proxy", "zelk")}
        env["http_proxy"] = self.FServer.ProxyUrl
        env["ZELK_STAND_IN_DIR"] = WindowsPath(self.StandIns)
        if self.FX11:
            env["ZELKUPD_WINE_GRAPHICS"] = "x11"
        return env

    def Start(self, program, arguments, stdout):
        config = types.SimpleNamespace(WineRun=WINE_RUN, WinePrefix=self.Prefix)
        process = TWineProcess(config, program, arguments, self.Environment(), self.Folder, stdout,
                               subprocess.DEVNULL)
        self.FProcesses.append(process)
        return process

    def Run(self):
        if not os.path.exists(os.path.join(self.Prefix, ".zelkupd-ready")):
            Say("Preparing a Wine prefix for the demo (first run only, about a minute)...")
        self.FServer = TLoopbackServer(self.SiteUrl, folder=self.Site)
        self.Start(os.path.join(self.Install, "ZELK.EXE"), [], subprocess.DEVNULL)
        self.WaitForStandIn("ready", 1, 120)
        before, settings_before = self.Files(), self.Settings()
        console = os.path.join(self.Folder, "run", "console.txt")
        dialogs = os.path.join(self.Folder, "run", "dialogs.log")
        updater = os.path.join(self.Install, "zelkupd.exe")
        Say("Running zelkupd.exe under Wine, with ZELK (a stand-in) running and the site on "
            "loopback.")
        if self.FX11:
            Say("Answer the download question on your display.")
            program, arguments = updater, []
        else:
            Say("The download question is answered by the dialog helper: it presses Yes (はい).")
            program = os.path.join(self.FBuild, "tests", "windows", "dialog-helper.exe")
            arguments = ["--record", WindowsPath(dialogs), "--answer", "yes", "--timeout-ms",
                         "60000", "--", WindowsPath(updater)]
        with open(console, "wb") as output:
            # A person at the display may take a while to answer.
            exit_code = self.Start(program, arguments, output).Wait(900 if self.FX11 else 120)
        self.WaitForStandIn("started", 2, 10)
        self.Show(console, dialogs, before, settings_before, exit_code)
        return 0 if exit_code == 0 else 1

    def WaitForStandIn(self, kind, count, timeout):
        deadline = time.monotonic() + timeout
        while len(self.StandInLog(kind)) < count and time.monotonic() < deadline:
            time.sleep(0.1)

    def StandInLog(self, kind):
        path = os.path.join(self.StandIns, "ZELK.log")
        if not os.path.exists(path):
            return []
        records = []
        with open(path, "rb") as log:
            for line in log.read().split(b"\n"):
                try:
                    records.append(json.loads(line))
                except ValueError:
                    continue
        return [record for record in records if record.get("record") == kind]

    def Stop(self):
        open(os.path.join(self.StandIns, "quit"), "wb").close()
        for process in self.FProcesses:
            process.Stop()
        if self.FServer is not None:
            self.FServer.Stop()
        subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=self.Prefix),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)

    # What changed.

    def Show(self, console, dialogs, before, settings_before, exit_code):
        Say()
        Say("== Console output (code page 932, shown in UTF-8)")
        with open(console, "rb") as output:
            for line in output.read().decode("cp932", errors="replace").splitlines():
                Say("   " + line)
        ending = "none: stopped after its time" if exit_code is None else exit_code
        Say("   exit code: %s" % ending)
        if os.path.exists(dialogs):
            self.ShowBoxes(dialogs)
        self.ShowFiles(before, self.Files())
        for when, text in (("before", settings_before), ("after", self.Settings())):
            Say("== zelkupd.INI %s" % when)
            for line in text.splitlines():
                Say("   " + line)
        Say()
        Say("== Requests the loopback site served")
        for request in self.FServer.Requests():
            Say("   %s %s" % (request.Method, request.Url))
        started = self.StandInLog("started")
        if len(started) > 1:
            Say("ZELK.EXE was started again by the updater (Windows pid %d)." % started[1]["pid"])
        Say("The demo's folders are in %s; the next run makes them anew." % self.Folder)

    def ShowBoxes(self, dialogs):
        Say()
        Say("== The download question, as the dialog helper saw and answered it")
        with open(dialogs, "rb") as log:
            for record in (json.loads(line) for line in log.read().splitlines() if line):
                if record["record"] == "box":
                    lines = record["text"].split("\r\n")
                    Say("   [%s] %s" % (record["caption"], " / ".join(lines)))
                    Say("   buttons %s, default %s; pressed %s"
                        % (", ".join(record["buttons"]), record["default"], record["answer"]))

    def ShowFiles(self, before, after):
        Say()
        Say("== Files of the installation (size, modification time; * changed)")
        for name in sorted(set(before) | set(after)):
            old = "%7d  %s" % before[name] if name in before else "%28s" % "-"
            new = "%7d  %s" % after[name] if name in after else "%28s" % "-"
            mark = "" if before.get(name) == after.get(name) else "  *"
            Say("   %-24s %s  ->  %s%s" % (name, old, new, mark))
        Say()


def Main(arguments):
    if not arguments or arguments[1:] not in ([], ["--x11"]):
        print(__doc__, file=sys.stderr)
        return 2
    demo = TDemo(os.path.abspath(arguments[0]), arguments[1:] == ["--x11"])
    demo.MakeScene()
    try:
        return demo.Run()
    finally:
        demo.Stop()


if __name__ == "__main__":
    sys.exit(Main(sys.argv[1:]))
