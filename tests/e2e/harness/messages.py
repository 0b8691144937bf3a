"""The updater's console lines as the tests expect them, each a text for ConsoleLines: the fixed
messages, and the lines that name a file, a folder or a URL."""

BLOCK_SIZE = 10240  # one "#" per block the transfer reads

GREETING = "ゼルク のアップデートを試みます."
KEPT = "ダウンロードしたアーカイブは保持されます."
DELETED = "ダウンロードしたアーカイブは削除されます."
RECYCLED = "ダウンロードしたアーカイブはゴミ箱へ投棄されます."

EXPANSION_FAILED = "ダウンロードパスの展開でエラーが発生しました."
CREATING_FOLDER = "ダウンロードパスが存在していません. 作成します."
FOLDER_NOT_CREATED = "ダウンロードパスが作成出来ません. 処理を中止します."

PAGE_ARGUMENT = "サーバのページが指定されました."
ARCHIVE_ARGUMENT = "サーバ上のアーカイブファイルが指定されました."
LOCAL_ARGUMENT = "ローカルのアーカイブファイルが指定されました."

OBTAINED = "取得完了."
NOT_OBTAINED = "取得出来ませんでした."
CANNOT_WRITE = "ローカルディスクに書き込みが出来ません."
NO_INFORMATION = "ゼルク についての情報が見当たりません."
LEFT = "放置します."

RESUMED = "前回の続きから取得します."  # a part file of an earlier run is gone on with
STARTED_OVER = "最初から取得し直します."  # the whole archive came instead of its rest

CLOSING = ("起動中の ゼルク を終了...", "起動中の ゼルク を終了完了.")
LAUNCHING = "ゼルク を起動..."


def Greeting(prev_file=None):
    """The first lines of every run: the archive of the last update when there is one, the
    greeting and an empty line."""
    first = () if prev_file is None else ("『 " + prev_file + " 』が前回アップデートしたファイルです.",)
    return first + (GREETING, "")


def DownloadPath(path):
    return "ダウンロードパスが指定されています：" + path


def ArchiveArgument(url):
    return (ARCHIVE_ARGUMENT, "　→ " + url)


def MissingLocalArchive(path):
    return "指定ファイル " + path + " が存在しません."


def PageFetch(url):
    """A page read to its end: its progress line, "取得完了." and an empty line."""
    return (url + " の情報を取得中...", OBTAINED, "")


def PageFetchStart(url):
    return url + " の情報を取得中..."


def ArchiveFetchStart(url):
    return url + " を取得中..."


def Continued(n):
    """The line before the n-th request for the rest of a transfer that broke off."""
    return "取得が途切れました. 続きを取得します. (%d)" % n


def Marks(size):
    """The row of "#" marks of a transfer of `size` bytes, read in whole blocks."""
    return "#" * -(-size // BLOCK_SIZE)


def Download(url, size):
    """A download that ran to its end: the progress line, the marks and "取得完了."."""
    return (ArchiveFetchStart(url), Marks(size), OBTAINED)


def Installation():
    """What a run that closes nothing but a ZELK that closes when asked, extracts at the first
    attempt and starts ZELK prints from the closing on."""
    return CLOSING + (LAUNCHING,)
