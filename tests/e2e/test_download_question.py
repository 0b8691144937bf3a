"""An archive URL named on the command line: the download question comes first, and Cancel ends
the run at once, No after the end notice; nothing is downloaded either way."""

import unittest

from harness.case import TE2ECase
from harness.codepage import ConsoleLines
from harness.dialogs import EndNotice, Question
from harness.http_server import Archive

GREETING = ("ゼルク のアップデートを試みます.", "", "ダウンロードしたアーカイブは保持されます.")


# A hand-written settings file that sets none of the updater's keys: the run reads the defaults,
# and no ending of these runs may rewrite it.
SETTINGS = "; ゼルク 更新の設定\r\n[ZELK]\r\nOTHER=1\r\n"


class TArchiveUrlQuestionTest(TE2ECase):
    def setUp(self):
        super().setUp()
        self.Installation.WriteSettings(SETTINGS)
        # Served, so that a download the run must not make would be seen in the server's log.
        self.Server.Route("zelk32_155.zip", Archive(b"PK\x05\x06" + bytes(18)))
        self.Before = self.Installation.Snapshot()

    def AssertNothingFetchedOrChanged(self, result):
        self.assertEqual(result.Requests, [])
        self.assertEqual(self.Installation.SettingsBytes(), SETTINGS.encode("cp932"))
        self.assertEqual(self.Installation.Snapshot(), self.Before)

    def testCancelEndsTheRunWithoutEndNotice(self):
        url = self.Server.Url("zelk32_155.zip")
        result = self.RunUpdater(url, answers=["cancel"])
        self.AssertConsole(
            result, ConsoleLines(*GREETING, "サーバ上のアーカイブファイルが指定されました.", "　→ " + url)
        )
        self.assertEqual(result.Boxes, [Question("『 zelk32_155.zip 』が対象です.", default="yes")])
        self.assertEqual(result.ExitCode, 0)
        self.assertEqual(result.Stderr, b"")
        self.AssertNothingFetchedOrChanged(result)

    def testUpperCaseHttpsUrlIsAnArchiveUrlAsWell(self):
        url = "HTTPS://ZELK.INVALID/DL/ZELK32_155.ZIP"
        result = self.RunUpdater(url, answers=["cancel"])
        self.AssertConsole(
            result, ConsoleLines(*GREETING, "サーバ上のアーカイブファイルが指定されました.", "　→ " + url)
        )
        self.assertEqual(result.Boxes, [Question("『 ZELK32_155.ZIP 』が対象です.", default="yes")])
        self.assertEqual(result.ExitCode, 0)
        self.AssertNothingFetchedOrChanged(result)

    def testClosingTheQuestionBoxIsACancel(self):
        url = self.Server.Url("beta/zelk32_156b.zip")
        result = self.RunUpdater(url, answers=["close"])
        self.assertEqual(
            result.Boxes,
            [Question("『 zelk32_156b.zip 』が対象です.", "!!!　これはβテスト版です　!!!", default="yes")],
        )
        self.assertEqual(result.ExitCode, 0)
        self.AssertNothingFetchedOrChanged(result)

    def testNoLeavesTheArchiveAndShowsTheEndNotice(self):
        url = self.Server.Url("zelk32_155.zip")
        result = self.RunUpdater(url, answers=["no", "ok"])
        self.AssertConsole(
            result,
            ConsoleLines(*GREETING, "サーバ上のアーカイブファイルが指定されました.", "　→ " + url, "放置します."),
        )
        self.assertEqual(result.Boxes, [Question("『 zelk32_155.zip 』が対象です.", default="yes"),
                                        EndNotice()])
        self.assertEqual(result.ExitCode, 0)
        self.AssertNothingFetchedOrChanged(result)


if __name__ == "__main__":
    unittest.main()
