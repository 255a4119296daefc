#!/usr/bin/env python3
"""A copy that crashed leaves its lock file and socket behind; the next start
runs as the first copy all the same, and a start after it hands over."""
import os
import signal

import harness
import tray_support
from harness import check


def test(args):
    with harness.Session(args.binary, args.source_dir) as s:
        crashed = tray_support.start_with_tray_host(s)
        s.wait_visible(crashed)
        crashed.send_signal(signal.SIGKILL)
        crashed.wait(5)
        check(os.path.exists(s.lock_path()), "no lock file was left to test with")

        second = s.start(extra_env=tray_support.program_env(s))
        window = s.wait_visible(second)
        s.close_window(window)
        s.wait_hidden(second)
        code, _ = s.run()
        check(code == 0, f"the third start ended with exit code {code}")
        s.wait_visible(second, timeout=5)


if __name__ == "__main__":
    harness.main(test, timeout=45)
