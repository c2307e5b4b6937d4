# SPDX-License-Identifier: GPL-3.0-or-later
"""Black-box tests of the installed program, driven through the accessibility API.

run_e2e.sh starts an X server and a session bus and calls this with one test name. The program
is the one installed into $SLIMKIT_E2E_WORK/install; it is started through a symbolic link from
another folder, with another working directory, as a user might.
"""

import os
import shutil
import signal
import subprocess
import sys
import time
import zipfile

import pyatspi
from Xlib import X, display, protocol
from Xlib.ext import xtest

WORK = os.environ["SLIMKIT_E2E_WORK"]
INSTALL = os.path.join(WORK, "install")
TITLE = "Slimkit for CWM Roms V# 0.9"
TIMEOUT = 60.0  # generous: a busy machine only makes a passing run slower


class Failure(Exception):
    pass


def wait_for(what, probe, timeout=TIMEOUT):
    """Polls `probe` until it gives something true; the accessibility tree lags a little."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            result = probe()
        except Exception:  # objects vanish and appear while the window changes
            result = None
        if result:
            return result
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.1)


def check(condition, message):
    if not condition:
        raise Failure(message)


def xdotool(*args):
    return subprocess.run(["xdotool", *args], check=True, capture_output=True, text=True).stdout


def descendants(root, role=None, name=None):
    def matches(acc):
        return ((role is None or acc.getRoleName() == role) and
                (name is None or acc.name == name))
    return pyatspi.findAllDescendants(root, matches)


def has_state(acc, state):
    return acc.getState().contains(state)


def centre(acc):
    extents = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return extents.x + extents.width // 2, extents.y + extents.height // 2


def click_at(x, y, button=1, repeat=1):
    xdotool("mousemove", "--sync", str(x), str(y))
    # The clicks go to the X server in one batch and are spaced by the server's own clock, so a
    # busy machine can't stretch a double click into two single ones.
    x_display = display.Display()
    try:
        for n in range(repeat):
            xtest.fake_input(x_display, X.ButtonPress, button, time=60 if n else X.CurrentTime)
            xtest.fake_input(x_display, X.ButtonRelease, button)
        x_display.sync()
    finally:
        x_display.close()
    # A tooltip that opens under a resting pointer stalls the accessibility calls for seconds.
    xdotool("mousemove", "--sync", "0", "0")


def definition(name, description="", enabled=0, files=(), widget_files=None):
    lines = ["[main]", "appname = " + name, "description = " + description,
             "enabled = %d" % enabled, "widget = %d" % (widget_files is not None), "[files]"]
    lines += ["%d = %s" % (n, path) for n, path in enumerate(files, 1)]
    if widget_files is not None:
        lines.append("[widget_files]")
        lines += ["%d = %s" % (n, path) for n, path in enumerate(widget_files, 1)]
    return "\n".join(lines) + "\n"


STANDARD_CATALOGUE = {
    "browser.ini": definition("Browser", "The web browser", 1, ["system/app/Browser.apk"]),
    "clock.ini": definition("Clock", "Shows the time", 1, ["system/app/Clock.apk"],
                            ["system/app/ClockWidget.apk"]),
    "music.ini": definition("Music", "Plays music", 0, ["system/app/Music.apk"]),
}


class Program:
    """The installed program, started through a link in another folder."""

    def __init__(self, definitions):
        remove = os.path.join(INSTALL, "app", "remove")
        if definitions is None:
            shutil.rmtree(remove, ignore_errors=True)
        else:
            shutil.rmtree(remove, ignore_errors=True)
            os.makedirs(remove)
            for file_name, text in definitions.items():
                with open(os.path.join(remove, file_name), "w") as out:
                    out.write(text)
        links = os.path.join(WORK, "links")
        elsewhere = os.path.join(WORK, "elsewhere")
        fake_bin = os.path.join(WORK, "bin")
        for folder in (links, elsewhere, fake_bin):
            os.makedirs(folder, exist_ok=True)
        link = os.path.join(links, "slimkit")
        if not os.path.lexists(link):
            os.symlink(os.path.join(INSTALL, "slimkit"), link)
        # Nothing the tests press may start a real browser or file manager.
        opener = os.path.join(fake_bin, "xdg-open")
        with open(opener, "w") as out:
            out.write("#!/bin/sh\nprintf '%%s\\n' \"$*\" >> '%s/opened'\n" % WORK)
        os.chmod(opener, 0o755)
        env = dict(os.environ, PATH=fake_bin + ":" + os.environ["PATH"])
        self.process = subprocess.Popen([link, "--ignored-argument"], cwd=elsewhere,
                                        env=env)
        self.app = wait_for("the program on the accessibility bus", self._find_app)
        self.window = wait_for("the main window", lambda: descendants(
            self.app, "frame", TITLE)[0])

    def _find_app(self):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == self.process.pid:
                return app
        return None

    # --- controls ---------------------------------------------------------------------------
    def button(self, caption):
        return wait_for("button " + caption,
                        lambda: descendants(self.window, "push button", caption)[0])

    def press(self, caption):
        self.button(caption).queryAction().doAction(0)

    def show_tab(self, caption):
        tab = wait_for("tab " + caption, lambda: descendants(self.window, "page tab", caption)[0])
        tabs = tab.parent
        tabs.querySelection().selectChild(tab.getIndexInParent())
        # A GTK 2 page tab carries no selected state; its page shows once it is chosen.
        wait_for("tab %s shown" % caption,
                 lambda: has_state(tab.getChildAtIndex(0), pyatspi.STATE_SHOWING))

    def check_box(self, caption):
        return wait_for("check box " + caption,
                        lambda: descendants(self.window, "check box", caption)[0])

    def status_text(self):
        labels = [l.name for l in descendants(self.window, "label")
                  if l.name.startswith("Loaded ") or l.name == "Ready"]
        return labels[0] if labels else ""

    def table(self):
        return wait_for("the check list", lambda: descendants(self.window, "table")[0])

    def rows(self):
        """Each row as (name, mode, ticked, selected, cell of the name)."""
        table = self.table().queryTable()
        result = []
        for row in range(table.nRows):
            cells = []
            for column in range(table.nColumns):
                cell = table.getAccessibleAt(row, column)
                parts = [cell.getChildAtIndex(i) for i in range(cell.childCount)] or [cell]
                cells.extend(parts)
            texts = [c for c in cells if c.name]
            ticked = any(has_state(c, pyatspi.STATE_CHECKED) for c in cells)
            selected = any(has_state(c, pyatspi.STATE_SELECTED) for c in cells)
            result.append((texts[0].name, texts[1].name if len(texts) > 1 else "",
                           ticked, selected, texts[0]))
        return result

    def row(self, name):
        return next(r for r in self.rows() if r[0] == name)

    def click_row(self, name, button=1, repeat=1):
        # Clicks soon after earlier ones would make a triple click.
        time.sleep(1)
        x, y = centre(self.row(name)[4])
        click_at(x, y, button, repeat)

    def choose_rom(self, rom):
        """Chooses the ROM through "..." and its dialog; gives the path field once it shows it."""
        self.press("...")
        self.answer_file_dialog("Select Rom", rom)
        return wait_for("the ROM path field", lambda: [
            t for t in descendants(self.window, "text") if t.queryText().getText(0, -1) == rom][0])

    # --- dialogs ----------------------------------------------------------------------------
    def answer_file_dialog(self, title, path):
        dialog = wait_for("dialog " + title, lambda: descendants(self.app, "dialog", title)[0])
        # There is no window manager to give the new dialog the keyboard. The toolkit makes the
        # dialog's X window before it maps it, and only a mapped window can take the focus.
        wait_for("dialog %s to take the focus" % title, lambda: xdotool(
            "search", "--onlyvisible", "--name", "^%s$" % title, "windowfocus", "--sync") or True)
        # An open dialog may start in "Recently Used", which has no location entry.
        places = [c for c in descendants(dialog, "table cell", "File System")
                  if has_state(c, pyatspi.STATE_SHOWING)]
        if places:
            click_at(*centre(places[0]))
        # The location entry shows only once something is typed; keys typed while the dialog
        # is still being mapped are lost, so type again until it shows.
        def location_entries():
            return [t for t in descendants(dialog, "text")
                    if t.queryText().getText(0, -1).startswith("/")]
        entries = []
        deadline = time.monotonic() + TIMEOUT
        while not entries and time.monotonic() < deadline:
            xdotool("type", "--delay", "30", "/tmp/")
            try:
                entries = wait_for("the location entry", location_entries, timeout=5)
            except Failure:
                pass
        check(entries, "the location entry never showed")
        entry = entries[0]
        entry.queryEditableText().setTextContents(path)
        wait_for("the typed path", lambda: entry.queryText().getText(0, -1) == path)
        # The chooser looks the folder up for its completion before it takes the path.
        time.sleep(1)
        xdotool("key", "Return")
        wait_for("the dialog to close", lambda: not descendants(self.app, "dialog", title))

    def answer_message_box(self):
        """Presses OK in the next message box; gives back its (title, text)."""
        alert = wait_for("a message box", lambda: descendants(self.app, "alert")[0])
        texts = [l.name for l in descendants(alert, "label") if l.name]
        titles = [t for t in window_titles() if t and t != TITLE]
        ok = [b for b in descendants(alert, "push button")][0]
        ok.queryAction().doAction(0)
        # The next message box of a run may open at once: wait only for this one to go.
        wait_for("the message box to close",
                 lambda: all(other != alert for other in descendants(self.app, "alert")))
        return (titles[0] if titles else ""), "\n".join(texts)

    # --- the end ----------------------------------------------------------------------------
    def close(self):
        """Closes the window as its close button does and gives back the exit code."""
        # Under load a close request now and then goes unanswered; a window manager's user
        # would press the button again, and so does this.
        for _ in range(6):
            self._send_delete()
            try:
                return self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass
        raise Failure("the program did not end after its window was closed")

    def _send_delete(self):
        x = display.Display()
        try:
            window = find_window(x, TITLE)
            check(window is not None, "no X window titled " + TITLE)
            protocols = x.intern_atom("WM_PROTOCOLS")
            delete = x.intern_atom("WM_DELETE_WINDOW")
            event = protocol.event.ClientMessage(window=window, client_type=protocols,
                                                 data=(32, [delete, X.CurrentTime, 0, 0, 0]))
            window.send_event(event, event_mask=X.NoEventMask)
            x.sync()
        finally:
            x.close()

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def find_window(x, title):
    """The shown top-level window of that title; GTK keeps unmapped windows of its own."""
    pending = [x.screen().root]
    while pending:
        window = pending.pop()
        try:
            if (window.get_wm_name() == title and
                    window.get_attributes().map_state == X.IsViewable):
                return window
            pending.extend(window.query_tree().children)
        except Exception:
            pass
    return None


def window_titles():
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "."],
                         capture_output=True, text=True).stdout.split()
    titles = []
    for window in out:
        titles.append(subprocess.run(["xdotool", "getwindowname", window],
                                     capture_output=True, text=True).stdout.strip())
    return titles


def zip_names(path):
    """The files in a zip; folder entries left out."""
    with zipfile.ZipFile(path) as archive:
        return sorted(name for name in archive.namelist() if not name.endswith("/"))


# --- the tests --------------------------------------------------------------------------------

# The happy path: the installed program lists its definitions, takes a ROM and slims it.
def test_customize(program):
    check(program.status_text() == "Loaded 3 apps to remove",
          "status text: " + program.status_text())
    check([r[:3] for r in program.rows()] ==
          [("Browser", "App", True), ("Clock", "App/Widget", True), ("Music", "App", False)],
          "rows: %r" % [r[:4] for r in program.rows()])
    roms = os.path.join(WORK, "my roms")
    os.makedirs(roms)
    rom = os.path.join(roms, "rom.zip")
    with zipfile.ZipFile(rom, "w") as archive:
        for name in ("system/app/Browser.apk", "system/app/Clock.apk",
                     "system/app/ClockWidget.apk", "system/app/Music.apk",
                     "META-INF/com/google/android/updater-script"):
            archive.writestr(name, "content of " + name)
    with open(rom, "rb") as original:
        original_bytes = original.read()
    added = os.path.join(INSTALL, "app", "add", "system", "app", "New.apk")
    with open(added, "w") as out:
        out.write("a new app")

    program.choose_rom(rom)

    program.click_row("Clock", repeat=2)
    wait_for("Clock switched to Widget", lambda: program.row("Clock")[1] == "Widget")
    program.show_tab("Settings")
    recovery = program.check_box("Create recovery zip for CWM")
    recovery.queryAction().doAction(0)
    wait_for("recovery zip ticked", lambda: has_state(recovery, pyatspi.STATE_CHECKED))

    program.press("Customize!")
    title, text = program.answer_message_box()
    check((title, text) == ("Finish", "Customzation done ;)"), "message: %r" % ((title, text),))
    # After the run the window reads the slimmed ROM's apps again, then says "Ready".
    wait_for("the status line to read Ready", lambda: program.status_text() == "Ready" or None)

    check(zip_names(rom) == ["META-INF/com/google/android/updater-script",
                             "system/app/Clock.apk", "system/app/Music.apk",
                             "system/app/New.apk"], "ROM holds %r" % zip_names(rom))
    with open(rom + "_BU_0", "rb") as backup:
        check(backup.read() == original_bytes, "the backup differs from the original ROM")
    undo = zip_names(rom + "_undo.zip")
    for name in ("system/app/Browser.apk", "system/app/ClockWidget.apk"):
        check(name in undo, "undo zip lacks %s: %r" % (name, undo))
    check("system/app/Clock.apk" not in undo, "undo zip holds what was not removed")
    check(os.listdir(os.path.join(INSTALL, "app", "undo", "files")) == [],
          "extraction folder not emptied")


# --- stopping a run -------------------------------------------------------------------------

def stop_setup():
    """A ROM zip, its pristine copy, and a 7z first on PATH that hangs in the removal, having
    begun its temporary archive."""
    roms = os.path.join(WORK, "stop roms")
    os.makedirs(roms)
    rom = os.path.join(roms, "rom.zip")
    with zipfile.ZipFile(rom, "w") as archive:
        for name in ("system/app/Browser.apk", "system/app/Clock.apk"):
            archive.writestr(name, "content of " + name)
    pristine = os.path.join(WORK, "pristine.zip")
    shutil.copyfile(rom, pristine)
    fake_bin = os.path.join(WORK, "bin")
    os.makedirs(fake_bin, exist_ok=True)
    script = os.path.join(fake_bin, "7z")
    with open(script, "w") as out:
        out.write('#!/bin/sh\n'
                  'if [ "$1" = d ]; then : >"{rom}.tmp"; : >"{work}/halfway"; exec sleep 300; fi\n'
                  'exec "{real}" "$@"\n'.format(work=WORK, rom=rom, real=shutil.which("7z")))
    os.chmod(script, 0o755)
    return rom, pristine


def running(pid):
    """True while the process runs; a zombie has ended, whoever is yet to collect it."""
    try:
        with open("/proc/%d/stat" % pid) as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def children(pid):
    found = []
    for task in os.listdir("/proc/%d/task" % pid):
        with open("/proc/%d/task/%s/children" % (pid, task)) as listed:
            found += [int(child) for child in listed.read().split()]
    return found


def start_stoppable_run(program):
    """Starts Customize and waits until 7z, a child of the program, hangs in the removal; gives
    back 7z's process id."""
    program.press("Customize!")
    return wait_for("7z working in the removal", lambda: os.path.exists(
        os.path.join(WORK, "halfway")) and children(program.process.pid)[0])


def prepare_stop(program, rom):
    """Chooses the ROM and unticks the backup."""
    program.choose_rom(rom)
    program.show_tab("Settings")
    backup = program.check_box("Create Backup before customizing")
    backup.queryAction().doAction(0)
    wait_for("backup unticked", lambda: not has_state(backup, pyatspi.STATE_CHECKED))


# The signal reaches a program busy in its window's loop, stops the run and then ends the program
# by it; 7z goes with it.
def test_stop_by_signal(program):
    rom, pristine = stop_setup()
    prepare_stop(program, rom)
    archiver = start_stoppable_run(program)
    program.process.send_signal(signal.SIGTERM)
    code = program.process.wait(timeout=TIMEOUT)
    check(code == -signal.SIGTERM, "exit code %d after SIGTERM" % code)
    wait_for("7z gone", lambda: not running(archiver))
    with open(rom, "rb") as now, open(pristine, "rb") as before:
        check(now.read() == before.read(), "the ROM zip changed")
    beside = sorted(os.listdir(os.path.dirname(rom)))
    check(beside == ["rom.zip"], "files beside the ROM zip: %r" % beside)
    # The program has ended as SIGTERM asked: there is no window left to close.
    return True


def menu_items(program):
    items = wait_for("the popup menu", lambda: [
        i for i in descendants(program.app, "menu item") if has_state(i, pyatspi.STATE_SHOWING)
        or i.name in ("App/Widget", "Widget")])
    return {i.name: has_state(i, pyatspi.STATE_SENSITIVE) for i in items}


def choose_menu_item(program, caption):
    item = wait_for("menu item " + caption,
                    lambda: descendants(program.app, "menu item", caption)[0])
    item.queryAction().doAction(0)


def answer_question(program, title, answer):
    box = wait_for("the question " + title, lambda: [
        a for a in descendants(program.app, "alert")
        if title in window_titles() and descendants(a, "push button", answer)][0])
    descendants(box, "push button", answer)[0].queryAction().doAction(0)
    wait_for("the question to close",
             lambda: all(other != box for other in descendants(program.app, "alert")))


def test_rom_apps(program):
    """Choosing a ROM gives each of its apps that no definition names a row of its own."""
    apks = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data",
                        "demo-apks")
    rom = os.path.join(WORK, "rom.zip")
    with zipfile.ZipFile(rom, "w") as archive:
        archive.write(os.path.join(apks, "Browser.apk"), "system/app/Browser.apk")
        archive.write(os.path.join(apks, "Phone.apk"), "system/app/Phone.apk")
        archive.write(os.path.join(apks, "Settings.apk"), "system/priv-app/Settings/Settings.apk")
        archive.writestr("system/priv-app/Settings/lib/arm/libsettings.so", "library")
    program.choose_rom(rom)
    expected = [("Browser", "App", True), ("Clock (not in this ROM)", "App/Widget", True),
                ("Music (not in this ROM)", "App", False), ("Phone", "App", False),
                ("Settings", "App", False)]
    wait_for("the rows of the ROM's apps",
             lambda: [r[:3] for r in program.rows()] == expected or None)
    wait_for("the count of the ROM's apps", lambda: program.status_text() ==
             "Loaded 5 apps to remove (2 from the ROM)" or None)

    # A community list's knowledge, loaded through the popup menu: Phone is Unsafe, so ticking
    # it asks first, and "No" leaves it unticked.
    knowledge = os.path.join(WORK, "knowledge.json")
    with open(knowledge, "w") as out:
        out.write('{"com.android.phone": {"removal": "Unsafe", "description": "Calls"}}')
    program.click_row("Phone", button=3)
    wait_for("the popup menu", lambda: menu_items(program).get("Load app knowledge..."))
    choose_menu_item(program, "Load app knowledge...")
    program.answer_file_dialog("Load App Knowledge", knowledge)
    for answer, ticked in (("No", False), ("Yes", True)):
        index = [r[0] for r in program.rows()].index("Phone")
        click_at(*centre(program.table().queryTable().getAccessibleAt(index, 0)))
        answer_question(program, "Unsafe", answer)
        wait_for("Phone ticked: %s" % ticked,
                 lambda: program.row("Phone")[2] == ticked or None)


TESTS = {
    "customize": (test_customize, STANDARD_CATALOGUE),
    "stop_by_signal": (test_stop_by_signal, STANDARD_CATALOGUE),
    "rom_apps": (test_rom_apps, STANDARD_CATALOGUE),
}


def main():
    name = sys.argv[1]
    test, catalogue = TESTS[name]
    program = Program(catalogue)
    try:
        # A test after which the program has ended by itself says so.
        if not test(program):
            code = program.close()
            check(code == 0, "exit code %d" % code)
    except Exception:
        program.kill()
        raise
    print("passed: " + name)


if __name__ == "__main__":
    main()
