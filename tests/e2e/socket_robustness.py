#!/usr/bin/env python3
"""A malformed message, an oversized one and a client that never writes do
not stall the running copy: it still answers a proper activation at once,
and drops the silent client at its deadline."""
import time

import harness
import tray_support
from harness import check


def test(args):
    with harness.Session(args.binary, args.source_dir) as s:
        first = tray_support.start_with_tray_host(s)
        window = s.wait_visible(first)
        s.close_window(window)
        s.wait_hidden(first)

        silent = s.raw_client()
        garbage = s.raw_client()
        garbage.sendall(b"\x00\x01 not an activation\n\n")
        oversized = s.raw_client()
        try:
            oversized.sendall(b"AERLUME-ACTIVATE 1\n" + b"x" * 20000)
        except (BrokenPipeError, ConnectionResetError):
            pass  # refused while still writing: as good as closed

        check(harness.closed_by_peer(garbage, 2), "the malformed message's connection stays open")
        check(harness.closed_by_peer(oversized, 2), "the oversized message's connection stays open")
        check(s.windows(first) == [], "a malformed message showed the window")

        began = time.monotonic()
        code, _ = s.run()
        check(code == 0, f"the second start ended with exit code {code}")
        s.wait_visible(first, timeout=5)
        check(time.monotonic() - began < 2.0, "the activation waited for the silent client")

        check(harness.closed_by_peer(silent, 5), "the silent client was never dropped")
        check(first.poll() is None, "the first copy ended")
        for client in (silent, garbage, oversized):
            client.close()


if __name__ == "__main__":
    harness.main(test, timeout=45)
