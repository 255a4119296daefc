#!/usr/bin/env python3
"""With a tray host running, the program's icon sits in the tray. A right
click opens the tray menu: its first item hides the main window (off the
screen, the program runs on) and the next time shows it again with the
focus; a double click toggles the same way; "Exit Program" ends the program
with exit code 0."""
import harness
import tray_support
from harness import check


def test(args):
    tray_support.require_tools()
    with harness.Session(args.binary, args.source_dir) as s:
        tray_support.start_tray_host(s)
        program = s.start(extra_env=tray_support.program_env(s))
        window = tray_support.wait_main_window(s, program)
        icon = tray_support.wait_icon(s)

        menu = tray_support.open_menu(s, program, icon, known=[window])
        tray_support.click_item(s, menu, "first")
        tray_support.wait_unmapped(s, window)
        check(program.poll() is None, f"hiding ended the program (exit code {program.poll()})")

        menu = tray_support.open_menu(s, program, icon, known=[window])
        tray_support.click_item(s, menu, "first")
        tray_support.wait_mapped(s, window)
        check(harness.wait_until(lambda: tray_support.focused_window(s) == window, 5),
              "the restored window did not get the focus")

        x, y = icon.center()
        tray_support.click(s, x, y, repeat=2)
        tray_support.wait_unmapped(s, window)
        tray_support.click(s, x, y, repeat=2)
        tray_support.wait_mapped(s, window)

        tray_support.exit_from_menu(s, program, icon, window)


if __name__ == "__main__":
    harness.main(test, timeout=45)
