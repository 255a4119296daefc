#!/usr/bin/env python3
"""File > Exit ends the program (exit code 0) and frees the instance lock, so
the next start runs as a first copy again."""
import harness
from harness import check


def test(args):
    with harness.Session(args.binary, args.source_dir) as s:
        first = s.start()
        window = s.wait_visible(first)
        s.key(window, "alt+f", "x")
        check(harness.wait_until(lambda: first.poll() is not None, 10), "File > Exit did not end the program")
        check(first.returncode == 0, f"exit code {first.returncode}:\n{s.output(first)}")

        again = s.start()
        s.wait_visible(again)


if __name__ == "__main__":
    harness.main(test, timeout=45)
