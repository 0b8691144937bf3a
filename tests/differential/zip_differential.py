#!/usr/bin/env python3
"""The ZIP reader against other readers, on archives that real writers make.

Usage: zip_differential.py ZIP_EXTRACT_TOOL WORK_FOLDER

Each archive is made by a real writer: Info-ZIP zip with -fz (Zip64 records forced), reading a
pipe, and streaming from a pipe to a pipe (data descriptors), Python's zipfile with force_zip64 to a file and to a stream it cannot
seek, bsdtar with its zip64 option, and Python with 65,536 entries (a Zip64 end record because the
count does not fit). Each is extracted by the program's own extraction (ZIP_EXTRACT_TOOL) and by
Python's zipfile; the trees must be the same, and Info-ZIP unzip must test the archive as sound.
The 65,536 entries must cost the extraction less than 16 MiB more memory than one entry does. Then damaged
archives, made from sound ones, must be refused with nothing written: an end record counting fewer
entries than the directory holds, an end record counting none over a Zip64 end record counting
one, and a Zip64 local header offset past the archive's end.
A writer or reader that is not installed makes the test skip (exit code 77), naming it.
"""
import io
import os
import shutil
import struct
import subprocess
import sys
import zipfile

SKIP = 77


def tree_of(folder):
    """Every file and folder below `folder`: relative path -> bytes, or None for a folder."""
    found = {}
    for root, dirs, files in os.walk(folder):
        for d in dirs:
            found[os.path.relpath(os.path.join(root, d), folder)] = None
        for f in files:
            path = os.path.join(root, f)
            with open(path, "rb") as stream:
                found[os.path.relpath(path, folder)] = stream.read()
    return found


def make_source(folder):
    os.makedirs(os.path.join(folder, "doc", "empty"))
    files = {
        "ZELK.EXE": bytes(range(256)) * 300,
        "doc/readme.txt": b"the quick brown fox jumps over the lazy dog\n" * 500,
        "doc/empty.txt": b"",
        "noise.bin": os.urandom(70000),
    }
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as stream:
            stream.write(data)


class Unseekable(io.RawIOBase):
    """A write-only stream without seek or tell, as a pipe or a network socket is."""

    def __init__(self, sink):
        self.sink = sink

    def writable(self):
        return True

    def write(self, data):
        self.sink.write(data)
        return len(data)


def python_archive(path, source, stream_it):
    with open(path, "wb") as out:
        target = Unseekable(out) if stream_it else out
        with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as archive:
            for root, dirs, files in os.walk(source):
                for name in sorted(dirs) + sorted(files):
                    full = os.path.join(root, name)
                    arcname = os.path.relpath(full, source)
                    if os.path.isdir(full):
                        archive.writestr(arcname + "/", b"")
                        continue
                    with open(full, "rb") as data, archive.open(arcname, "w", force_zip64=True) as entry:
                        shutil.copyfileobj(data, entry)


def many_entries(path, count):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as archive:
        for i in range(count):
            archive.writestr("d%03d/f%05d.txt" % (i % 256, i), b"%d\n" % i)


def run(command, **options):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **options)


def extract_ours(tool, archive, folder):
    """Extracts with the program's own extraction."""
    os.makedirs(folder)
    return run([tool, archive, folder])


def peak_of(tool, archive, folder):
    """The tool's own peak memory, from a child of its own: RUSAGE_CHILDREN keeps the largest."""
    script = (
        "import resource,subprocess,sys;"
        "r=subprocess.run(sys.argv[1:],stdout=subprocess.DEVNULL,stderr=subprocess.DEVNULL);"
        "print(r.returncode, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)"
    )
    os.makedirs(folder)
    # What the sanitizers keep of freed memory would otherwise count as the extraction's.
    env = dict(os.environ, ASAN_OPTIONS="quarantine_size_mb=0")
    code, peak = run([sys.executable, "-c", script, tool, archive, folder], env=env).stdout.split()
    return int(code), int(peak)


def check_same(tool, archive, work, failures):
    ours = os.path.join(work, "ours")
    theirs = os.path.join(work, "python")
    result = extract_ours(tool, archive, ours)
    if result.returncode != 0:
        failures.append("%s: refused: %s" % (archive, result.stderr.decode("utf-8", "replace")))
        return
    with zipfile.ZipFile(archive) as reference:
        reference.extractall(theirs)
    if tree_of(ours) != tree_of(theirs):
        failures.append("%s: extracted otherwise than by Python's zipfile" % archive)
    tested = run(["unzip", "-tqq", archive])
    if tested.returncode != 0:
        failures.append("%s: unzip finds it unsound: %s" % (archive, tested.stdout.decode()))


def locate_end(data):
    return data.rindex(b"PK\x05\x06")


def undercount(data):
    """The end record counts one entry fewer than its directory holds."""
    end = locate_end(data)
    count = struct.unpack_from("<H", data, end + 10)[0]
    return data[: end + 8] + struct.pack("<HH", count - 1, count - 1) + data[end + 12 :]


def zero_over_zip64_one(data):
    """A Zip64 end record and locator put before the end record, which then counts no entries.

    `data` holds one entry."""
    end = locate_end(data)
    size, offset = struct.unpack_from("<II", data, end + 12)
    zip64 = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 0x032D, 45, 0, 0, 1, 1, size, offset)
    locator = struct.pack("<IIQI", 0x07064B50, 0, end, 1)
    record = bytearray(data[end:])
    struct.pack_into("<HH", record, 8, 0, 0)
    return data[:end] + zip64 + locator + bytes(record)


def offset_past_end(data):
    """The central header's local header offset replaced by a Zip64 value past the archive's end.

    `data` holds one entry whose central header has no extra field."""
    central = data.index(b"PK\x01\x02")
    header = bytearray(data[central : central + 46])
    name_length, extra_length, comment_length = struct.unpack_from("<HHH", header, 28)
    if extra_length != 0:
        raise ValueError("expected no central extra field")
    struct.pack_into("<I", header, 42, 0xFFFFFFFF)
    struct.pack_into("<H", header, 30, 12)
    name = data[central + 46 : central + 46 + name_length]
    block = struct.pack("<HHQ", 1, 8, len(data) + 1000)
    rest = data[central + 46 + name_length :]
    end = rest.rindex(b"PK\x05\x06")
    record = bytearray(rest[end:])
    size = struct.unpack_from("<I", record, 12)[0]
    struct.pack_into("<I", record, 12, size + len(block))
    return data[:central] + bytes(header) + name + block + rest[:end] + bytes(record)


def main():
    tool, work = sys.argv[1], sys.argv[2]
    missing = [name for name in ("zip", "unzip", "bsdtar") if shutil.which(name) is None]
    if missing:
        print("SKIPPED: not installed: %s (scripts/install-deps installs them)" % ", ".join(missing))
        return SKIP
    shutil.rmtree(work, ignore_errors=True)
    source = os.path.join(work, "source")
    make_source(source)
    archives = os.path.join(work, "archives")
    os.makedirs(archives)
    made = {}
    made["zip -fz"] = os.path.join(archives, "zip_fz.zip")
    run(["zip", "-q", "-fz", "-r", made["zip -fz"], "."], cwd=source, check=True)
    # Info-ZIP reading a pipe cannot know the size: Zip64 sizes in the local header; writing to a
    # pipe as well, it streams: zeros there, a data descriptor with 64-bit sizes after the data.
    made["zip from a pipe"] = os.path.join(archives, "zip_stdin.zip")
    with open(os.path.join(source, "ZELK.EXE"), "rb") as data:
        run(["zip", "-q", made["zip from a pipe"], "-"], stdin=data, check=True)
    made["zip streaming"] = os.path.join(archives, "zip_streaming.zip")
    with open(os.path.join(source, "noise.bin"), "rb") as data, open(made["zip streaming"], "wb") as out:
        zipper = subprocess.Popen(["zip", "-q", "-", "-"], stdin=data, stdout=subprocess.PIPE)
        shutil.copyfileobj(zipper.stdout, out)
        if zipper.wait() != 0:
            raise RuntimeError("zip to a pipe failed")
    made["python force_zip64"] = os.path.join(archives, "python_zip64.zip")
    python_archive(made["python force_zip64"], source, stream_it=False)
    made["python force_zip64 streaming"] = os.path.join(archives, "python_zip64_stream.zip")
    python_archive(made["python force_zip64 streaming"], source, stream_it=True)
    made["bsdtar zip64"] = os.path.join(archives, "bsdtar_zip64.zip")
    run(["bsdtar", "-c", "--format", "zip", "--options", "zip:zip64", "-f", made["bsdtar zip64"], "."],
        cwd=source, check=True)
    made["65,536 entries"] = os.path.join(archives, "many.zip")
    many_entries(made["65,536 entries"], 65536)

    failures = []
    for kind, archive in made.items():
        print("%s: %s" % (kind, archive))
        check_same(tool, archive, os.path.join(work, "out", os.path.basename(archive)), failures)

    one = os.path.join(archives, "one.zip")
    many_entries(one, 1)
    code_one, peak_one = peak_of(tool, one, os.path.join(work, "peak", "one"))
    code_many, peak_many = peak_of(tool, made["65,536 entries"], os.path.join(work, "peak", "many"))
    print("peak memory: one entry %d KiB, 65,536 entries %d KiB" % (peak_one, peak_many))
    if code_one != 0 or code_many != 0 or peak_many - peak_one > 16 * 1024:
        failures.append("65,536 entries cost %d KiB more than one" % (peak_many - peak_one))

    # Python writes no Zip64 end record for so few entries: only the directory's size tells.
    with open(made["python force_zip64"], "rb") as stream:
        sound = stream.read()
    with open(one, "rb") as stream:
        single = stream.read()
    damaged = {
        "undercount.zip": undercount(sound),
        "zero_over_zip64_one.zip": zero_over_zip64_one(single),
        "zip64_offset_past_end.zip": offset_past_end(single),
    }
    for name, data in damaged.items():
        path = os.path.join(archives, name)
        with open(path, "wb") as stream:
            stream.write(data)
        folder = os.path.join(work, "damaged", name)
        result = extract_ours(tool, path, folder)
        print("%s: exit %d" % (name, result.returncode))
        if result.returncode == 0 or tree_of(folder):
            failures.append("%s: not refused before anything was written" % name)

    for failure in failures:
        print("FAILED: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
