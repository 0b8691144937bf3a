"""The test's own ZELK installation: a folder holding a copy of a build of zelkupd.exe, its settings
file, the stand-in programs and whatever files the test puts there."""

import hashlib
import os
import shutil

from harness.environment import WindowsPath

SETTINGS_NAME = "zelkupd.INI"  # the executable's name with its extension replaced by ".INI"
# Added to a file's name for the file the updater writes beside it and then moves over it: the
# settings rewrite's temporary file, a download's part file.
REPLACEMENT_SUFFIX = ".zelkupd-tmp"


class TInstallation:
    def __init__(self, config, root, updater, stand_in):
        self.FConfig = config
        self.FStandIn = stand_in
        self.Path = os.path.join(root, "install")
        os.makedirs(self.Path)
        shutil.copy2(updater, self.File("zelkupd.exe"))

    def File(self, *parts):
        return os.path.join(self.Path, *parts)

    def WindowsPath(self, *parts):
        """The Windows form of a path in the folder; of the folder itself, with its backslash."""
        return WindowsPath(self.File(*parts)) + ("" if parts else "\\")

    @property
    def UpdaterPath(self):
        return self.File("zelkupd.exe")

    def AddStandIn(self, name="ZELK.EXE"):
        shutil.copy2(self.FStandIn, self.File(name))

    def WriteSettings(self, text, encoding="cp932"):
        """The settings file as a user would write it: `text` exactly, line ends included."""
        self.WriteFile(SETTINGS_NAME, text.encode(encoding))

    def SettingsBytes(self):
        """The settings file's content, or None when there is none."""
        path = self.File(SETTINGS_NAME)
        if not os.path.exists(path):
            return None
        with open(path, "rb") as settings:
            return settings.read()

    def WriteFile(self, name, data, mtime=None):
        """A file below the folder (name with "/" separators), with its modification time when
        given (seconds since the epoch)."""
        path = self.File(*name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as target:
            target.write(data)
        if mtime is not None:
            os.utime(path, (mtime, mtime))
        return path

    def Snapshot(self):
        """Every file below the folder: relative name ("/" separators) to size, modification
        time in nanoseconds and content digest, to tell whether a run changed anything."""
        files = {}
        for folder, _, names in os.walk(self.Path):
            for name in names:
                path = os.path.join(folder, name)
                with open(path, "rb") as content:
                    digest = hashlib.sha256(content.read()).hexdigest()
                status = os.stat(path)
                relative = os.path.relpath(path, self.Path).replace(os.sep, "/")
                files[relative] = (status.st_size, status.st_mtime_ns, digest)
        return files
