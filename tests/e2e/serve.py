#!/usr/bin/env python3
"""Serves a folder as the author's site for a run by hand: serve.py FOLDER [PORT] (8000 by
default). Start the updater with http_proxy=http://127.0.0.1:PORT: whatever its site URL, each
request is answered with the file that the URL's path names below FOLDER, or 404. Every request is
printed."""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from harness.http_server import TLoopbackServer  # noqa: E402


def Main(arguments):
    if not 1 <= len(arguments) <= 2:
        print(__doc__, file=sys.stderr)
        return 2
    port = int(arguments[1]) if len(arguments) > 1 else 8000
    server = TLoopbackServer("http://zelk.invalid/", port, arguments[0])
    print("serving %s on %s (Ctrl-C ends)" % (arguments[0], server.ProxyUrl), flush=True)
    shown = 0
    try:
        while True:
            time.sleep(0.2)
            for request in server.Requests()[shown:]:
                print(request.Method, request.Url, flush=True)
                shown += 1
    except KeyboardInterrupt:
        server.Stop()
    return 0


if __name__ == "__main__":
    sys.exit(Main(sys.argv[1:]))
