"""Reading the JSON-line logs that the Windows helpers append to."""

import json
import os


def ReadRecords(path):
    """Every complete record of the log; none when it does not exist yet. A last line still being
    written is left for the next read."""
    if not os.path.exists(path):
        return []
    with open(path, "rb") as log:
        data = log.read()
    records = []
    for line in data.split(b"\n"):
        if not line.strip():
            continue
        try:
            records.append(json.loads(line.decode("utf-8")))
        except ValueError:
            break
    return records
