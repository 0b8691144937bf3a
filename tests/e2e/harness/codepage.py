"""The console's bytes in code page 932 as Windows writes them.

Python's cp932 codec and Windows' code page 932 differ on a few characters (Windows maps some
characters best-fit where Python refuses them). The texts compared here keep to characters both
map alike; PINNED holds the Windows bytes of the characters the messages rely on, and the harness
self-test checks the codec against them.
"""

LINE_END = b"\r\n"

PINNED = {
    "ゼルク": b"\x83\x5b\x83\x8b\x83\x4e",
    "更新": b"\x8d\x58\x90\x56",
    "：": b"\x81\x46",
    "　": b"\x81\x40",
    "→": b"\x81\xa8",
    "『": b"\x81\x77",
    "』": b"\x81\x78",
    "？": b"\x81\x48",
    "β": b"\x83\xc0",
    "エ": b"\x83\x47",
}


def Cp932(text):
    return text.encode("cp932")


def ConsoleLines(*lines):
    """Console output of PrintLine calls: each line followed by CR LF."""
    return b"".join(Cp932(line) + LINE_END for line in lines)


def Readable(data):
    """Bytes shown for a failure message: decoded where they are valid 932, escaped elsewhere."""
    return data.decode("cp932", errors="backslashreplace")
