#!/usr/bin/env python3
"""The icon follows the tray host: started without one, the program runs
without an icon and closing the window leaves it on the screen (it goes to
the task bar, not out of reach); when a host starts later the icon appears
and the window goes into the tray; when the host is
killed and started again (slowly or at once) the icon comes back, and its
menu still works."""
import time

import harness
import tray_support
from harness import check


def test(args):
    tray_support.require_tools()
    with harness.Session(args.binary, args.source_dir) as s:
        program = s.start(extra_env=tray_support.program_env(s))
        window = tray_support.wait_main_window(s, program)
        s.close_window(window)
        time.sleep(1.5)
        check(program.poll() is None, f"the program ended without a tray (exit code {program.poll()})")
        check(tray_support.is_viewable(s, window), "without a tray host, closing took the window off the screen")

        host = tray_support.start_tray_host(s)
        tray_support.wait_icon(s, timeout=5)
        tray_support.wait_unmapped(s, window)

        tray_support.stop_tray_host(s, host)
        check(program.poll() is None, f"losing the tray ended the program (exit code {program.poll()})")
        time.sleep(1.5)  # longer than the program's host watch
        host = tray_support.start_tray_host(s)
        tray_support.wait_icon(s, timeout=5)

        # Killed and started again at once, between two looks of the watch.
        host.kill()
        host.wait(5)
        host = tray_support.start_tray_host(s)
        tray_support.wait_icon(s, timeout=5)
        # The icon found first may be the one the host embedded before the
        # program's watch saw the restart and added its icon again; on a busy
        # machine a click could land on it just as it goes. Take the icon once
        # the watch has looked.
        time.sleep(1.5)
        icon = tray_support.wait_icon(s, timeout=5)

        # The menu of the re-added icon offers to show the hidden window.
        menu = tray_support.open_menu(s, program, icon)
        tray_support.click_item(s, menu, "first")
        tray_support.wait_mapped(s, window)

        tray_support.exit_from_menu(s, program, icon, window)


if __name__ == "__main__":
    harness.main(test, timeout=45)
