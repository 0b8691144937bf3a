"""The message boxes of a run, as the dialog helper recorded them, and the two boxes the updater
shows."""

import dataclasses

from harness.records import ReadRecords

CAPTION = "ゼルク x86 更新"
END_NOTICE_TEXT = "それではアップデートプログラムを終了致します"
QUESTION_LAST_LINE = "取得しますか？"


@dataclasses.dataclass(frozen=True)
class TBox:
    Caption: str
    Text: str
    Buttons: tuple  # from left to right: "yes", "no", "cancel", "ok", ...
    Default: str  # the button styled as default; None when none is
    Icon: bool


def EndNotice():
    """The end notice: its text, one OK button, no icon."""
    return TBox(CAPTION, END_NOTICE_TEXT, ("ok",), "ok", False)


def Question(*lines, default):
    """The download question: the caller's lines, then "取得しますか？", with Yes, No and Cancel
    and the question icon; `default` is "yes" or "no"."""
    text = "\r\n".join(lines + (QUESTION_LAST_LINE,))
    return TBox(CAPTION, text, ("yes", "no", "cancel"), default, True)


@dataclasses.dataclass
class TDialogLog:
    Boxes: list
    Answers: list  # the button pressed at each box ("close": closed by its title-bar button)
    Failures: list  # the helper's own complaints: unscripted boxes, time-outs, unused answers
    ExitCode: int  # the program's exit code; None when it could not be started
    TimedOut: bool
    Ended: bool  # False when the helper itself did not finish its log


def ReadDialogLog(path):
    log = TDialogLog([], [], [], None, False, False)
    for record in ReadRecords(path):
        kind = record["record"]
        if kind == "box":
            log.Boxes.append(TBox(record["caption"], record["text"], tuple(record["buttons"]),
                                  record["default"], record["icon"]))
            log.Answers.append(record["answer"])
        elif kind == "failure":
            log.Failures.append(record["message"])
        elif kind == "end":
            log.ExitCode = record["exit_code"]
            log.TimedOut = record["timed_out"]
            log.Ended = True
    return log
