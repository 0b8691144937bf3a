"""What the author's site serves, made for a test: release pages and release archives, and the
local time the updater reads archive entry times in."""

import calendar
import io
import zipfile

# Every Windows program of a test runs in Japan's time zone (Wine follows TZ), so the local
# entry times of an archive become the same file times on every machine. A POSIX rule, so that
# no time zone database is needed.
TIMEZONE = "JST-9"
TIMEZONE_OFFSET = 9 * 3600  # seconds east of UTC


def LocalTimeToEpoch(date_time):
    """Seconds since the epoch of a local time (year, month, day, hour, minute, second) of the
    tests' time zone: the modification time an extracted entry with that time gets."""
    return calendar.timegm(tuple(date_time) + (0, 0, 0)) - TIMEZONE_OFFSET


def ReleasePage(link, marker=b'id="$zelk32$"', encoding="cp932", title="ゼルク"):
    """A release page whose anchor carries `marker` and then the archive's link, relative to the
    site base URL (zip/zelk32_156.zip, say), as the author writes it."""
    link = link.encode(encoding)
    return (
        b"<html><head><title>" + title.encode(encoding) + b"</title></head><body>\r\n"
        b"<p>" + "最新版".encode(encoding) + b"</p>\r\n"
        b"<a " + marker + b' href="' + link + b'">' + link + b"</a>\r\n"
        b"</body></html>\r\n"
    )


def MakeArchive(entries, compression=zipfile.ZIP_DEFLATED):
    """A ZIP archive of (name, data, date_time) entries in that order; a name ending in "/" is a
    folder entry (its data is ignored)."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for name, data, date_time in entries:
            info = zipfile.ZipInfo(name, date_time=tuple(date_time))
            info.compress_type = zipfile.ZIP_STORED if name.endswith("/") else compression
            archive.writestr(info, b"" if name.endswith("/") else data)
    return buffer.getvalue()
