"""The end-to-end harness: the real zelkupd.exe under Wine, each test in its own installation
folder with its own loopback server, dialog helper and stand-in programs."""
