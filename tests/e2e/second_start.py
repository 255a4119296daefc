#!/usr/bin/env python3
"""Closing hides the window and the program runs on; a second start ends at
once with exit code 0 and brings the first copy back from the tray."""
import harness
import tray_support
from harness import check


def test(args):
    with harness.Session(args.binary, args.source_dir) as s:
        first = tray_support.start_with_tray_host(s)
        window = s.wait_visible(first)

        s.close_window(window)
        s.wait_hidden(first)
        check(not harness.wait_until(lambda: first.poll() is not None, 1.0),
              f"closing the window ended the program (exit code {first.poll()})")

        # The run waits for the second copy to end (a hang fails on the harness's time-out).
        code, _ = s.run(["some-file.txt"])
        check(code == 0, f"the second start ended with exit code {code}:\n{s.output(s.processes[-1])}")
        s.wait_visible(first, timeout=5)
        check(first.poll() is None, "the first copy ended")
        check(len(s.windows(first)) == 1, "the first copy shows more than one main window")

        # Again while it is shown: still one copy, still shown.
        code, _ = s.run()
        check(code == 0, f"the third start ended with exit code {code}")
        check(s.windows(first), "the first copy's window went away")


if __name__ == "__main__":
    harness.main(test, timeout=45)
