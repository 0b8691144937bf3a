"""A rebuilt release installed over the one before it: a file whose bytes did not change is not
written again, only given the new entry's time, so it stays the very same file."""

import os
import unittest

from harness.content import MakeArchive
from harness.installing import TInstallingCase

OLD_STAMP = (2024, 5, 17, 9, 30, 0)
NEW_STAMP = (2024, 6, 1, 12, 0, 0)


class TRebuiltReleaseTest(TInstallingCase):
    def testAnUnchangedFileIsTheSameFileWithTheNewTimes(self):
        names = ["bin/core%02d.dll" % n for n in range(20)]
        first = [(name, b"release %d " % n * 4000, OLD_STAMP) for n, name in enumerate(names)]
        result, _ = self.InstallLocalArchive(MakeArchive(first))
        self.assertEqual(result.ExitCode, 0)
        before = {name: os.stat(self.Installation.File(*name.split("/"))) for name in names}

        rebuilt = [(name, data if n != 7 else b"rebuilt 7", NEW_STAMP)
                   for n, (name, data, _) in enumerate(first)]
        result = self.RunUpdater(self.WriteLocalArchive(MakeArchive(rebuilt), "zelk32_157.zip"))
        self.assertEqual(result.ExitCode, 0)
        for n, name in enumerate(names):
            after = os.stat(self.Installation.File(*name.split("/")))
            self.assertNotEqual(after.st_mtime_ns, before[name].st_mtime_ns, name)
            if n == 7:
                self.assertNotEqual(after.st_ino, before[name].st_ino, name)
            else:
                self.assertEqual((after.st_dev, after.st_ino), (before[name].st_dev,
                                                                before[name].st_ino), name)
        with open(self.Installation.File("bin", "core07.dll"), "rb") as changed:
            self.assertEqual(changed.read(), b"rebuilt 7")


if __name__ == "__main__":
    unittest.main()
