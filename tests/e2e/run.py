#!/usr/bin/env python3
"""Runs end-to-end tests by their ids (module.Class.method); with --list, prints the id of every
test, one a line, which is how CTest registers one test per id."""

import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))


def TestIds(suite):
    for item in suite:
        if isinstance(item, unittest.TestSuite):
            yield from TestIds(item)
        else:
            yield item.id()


def Main(arguments):
    sys.path.insert(0, HERE)
    loader = unittest.TestLoader()
    if arguments == ["--list"]:
        for test_id in TestIds(loader.discover(HERE, pattern="test_*.py", top_level_dir=HERE)):
            print(test_id)
        return 0
    if arguments:
        suite = loader.loadTestsFromNames(arguments)
    else:
        suite = loader.discover(HERE, pattern="test_*.py", top_level_dir=HERE)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    return 0 if result.wasSuccessful() and result.testsRun > 0 else 1


if __name__ == "__main__":
    sys.exit(Main(sys.argv[1:]))
