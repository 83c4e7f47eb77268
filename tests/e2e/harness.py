"""The real program, driven as a person drives it and read as a screen reader reads it.

A Desktop is a private X server (Xvfb) with a window manager (openbox) and a private session bus
that carries the accessibility bus. A ProgramFolder is a fresh copy of the ready program folder
with its own memo book; start() runs the program there. Input goes in only as X input events
(XTest, through xdotool); what the program shows is read over AT-SPI, what it stored with sqlite3.
Every wait is for a condition, with a timeout.
"""
import contextlib
import datetime
import os
import shutil
import signal
import sqlite3
import subprocess
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
BUILD = os.path.abspath(os.environ.get("ORV_BUILD_DIR") or os.path.join(SOURCE, "build"))
APP_DIR = os.path.join(BUILD, "app")
PROGRAM = os.path.join(APP_DIR, "orvalent")
HELP_FILE = os.path.join(APP_DIR, "ｵﾙﾊﾞﾚﾝﾄ.HLP")
MEMO_BOOK_MAKER = os.path.join(BUILD, "tools", "orv_make_memo_book")
JET_DATA = os.path.join(SOURCE, "tests", "data", "jet")

# Long enough for a loaded machine; a condition that holds returns at once.
TIMEOUT = float(os.environ.get("ORV_E2E_TIMEOUT", "15"))

MEMO_FIELDS = ("日付", "ｷｰﾜｰﾄﾞ", "検索キー１", "検索キー２", "予備１", "メモ", "ヘルプファイル")

# The windows' titles.
MAIN = "オルバレント"
ENTRY = "ヘルプ登録"
DISPLAY = "ヘルプ表示／修正"
APPS = "アプリケーション登録"
VERSION = "オルバレントのﾊﾞｰｼﾞｮﾝ情報"


class WaitTimeout(AssertionError):
    pass


def wait_for(condition, what, timeout=TIMEOUT, interval=0.03):
    """Polls condition until it gives a true value, which is returned; fails after timeout."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = condition()
            if value:
                return value
        except Exception as error:  # a node that went away while being read: read again
            last_error = error
        if time.monotonic() > deadline:
            detail = " (last error: %r)" % (last_error,) if last_error else ""
            raise WaitTimeout("timed out waiting for " + what + detail)
        time.sleep(interval)


def wait_equal(read, expected, what, timeout=TIMEOUT):
    """Waits until read() gives the expected value; a failure says what it gave last."""
    try:
        wait_for(lambda: read() == expected, "%s to be %r" % (what, expected), timeout)
    except WaitTimeout:
        try:
            last = read()
        except Exception as error:
            last = error
        raise WaitTimeout("timed out waiting for %s to be %r; it is %r" % (what, expected, last)) from None


# ---------------------------------------------------------------------------------------------
# The desktop


class Desktop:
    def __init__(self, log_dir, width=1280, height=1024):
        self.log_dir = log_dir
        self.width, self.height = width, height
        self.processes = []
        self.display = None

    def _spawn(self, args, log_name, **kwargs):
        log = open(os.path.join(self.log_dir, log_name), "wb")
        process = subprocess.Popen(args, stdout=log, stderr=subprocess.STDOUT, start_new_session=True, **kwargs)
        self.processes.append(process)
        return process

    @staticmethod
    def _read_line(fd, timeout):
        data = b""
        deadline = time.monotonic() + timeout
        os.set_blocking(fd, False)
        while not data.endswith(b"\n"):
            try:
                chunk = os.read(fd, 256)
                if not chunk:
                    break
                data += chunk
            except BlockingIOError:
                if time.monotonic() > deadline:
                    break
                time.sleep(0.01)
        os.close(fd)
        return data.decode().strip()

    def start(self):
        os.makedirs(self.log_dir, exist_ok=True)
        read_end, write_end = os.pipe()
        self._spawn(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % (self.width, self.height),
                     "-nolisten", "tcp", "-noreset"], "xvfb.log", pass_fds=(write_end,))
        os.close(write_end)
        number = self._read_line(read_end, TIMEOUT)
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number
        os.environ["DISPLAY"] = self.display

        read_end, write_end = os.pipe()
        self._spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=%d" % write_end],
                    "dbus.log", pass_fds=(write_end,))
        os.close(write_end)
        address = self._read_line(read_end, TIMEOUT)
        if not address:
            raise RuntimeError("the session bus did not start")
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = address
        # Qt reaches the accessibility bus only when it is asked to.
        os.environ["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        os.environ["QT_ACCESSIBILITY"] = "1"
        os.environ.pop("QT_QPA_PLATFORM", None)
        os.environ.pop("WAYLAND_DISPLAY", None)

        self._spawn(["openbox", "--sm-disable"], "openbox.log")
        wait_for(lambda: "window id" in subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"],
                                                        capture_output=True, text=True).stdout,
                 "the window manager")
        return self

    def stop(self):
        for process in reversed(self.processes):
            with contextlib.suppress(ProcessLookupError):
                os.killpg(process.pid, signal.SIGTERM)
            with contextlib.suppress(subprocess.TimeoutExpired):
                process.wait(5)
            with contextlib.suppress(ProcessLookupError):
                os.killpg(process.pid, signal.SIGKILL)
        self.processes.clear()

    def screenshot(self, path):
        subprocess.run(["import", "-display", self.display, "-window", "root", path],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)


# ---------------------------------------------------------------------------------------------
# Input: X events only


def xdotool(*args):
    subprocess.run(["xdotool"] + [str(a) for a in args], check=True, timeout=60)


def pointer():
    out = subprocess.run(["xdotool", "getmouselocation", "--shell"], capture_output=True, text=True, timeout=30).stdout
    values = dict(line.split("=", 1) for line in out.split() if "=" in line)
    return int(values.get("X", -1)), int(values.get("Y", -1))


def click_at(x, y, button=1, double=False):
    # A synchronous move waits for a motion, which never comes when the pointer is there already.
    if pointer() != (x, y):
        xdotool("mousemove", "--sync", x, y)
    # xdotool waits its delay after the last click as well: it is only the gap between two.
    if double:
        xdotool("click", "--repeat", 2, "--delay", 60, button)
    else:
        xdotool("click", "--delay", 0, button)


def center(node):
    e = extents(node)
    return e[0] + e[2] // 2, e[1] + e[3] // 2


def window_of(node):
    """The window that holds a control."""
    while node is not None and role(node) not in ("frame", "dialog", "alert", "window", "file chooser"):
        node = node.parent
    return node


def active_paths(app):
    return {w.path for w in children(app) if showing(w) and has_state(w, "active")}


def click(node, button=1, double=False, dx=None, dy=None):
    """Clicks a control where a person would: its middle, or dx, dy pixels into it. A click into
    a window that is not active waits, as a person does, until the window manager has made one of
    the program's windows active that was not (the window itself, or one the click opened), so
    that the keys that follow go there; or until the click has closed the window."""
    x, y, w, h = wait_for(lambda: visible_extents(node), "%s to be on the screen" % describe(node))
    window = window_of(node)
    app = node.getApplication()
    before = None if window is None or has_state(window, "active") else active_paths(app)
    what = "a click into %s to make it active" % describe(window)
    click_at(x + (w // 2 if dx is None else dx), y + (h // 2 if dy is None else dy), button, double)
    if before is not None:
        # A window closed, or a program ended, by the click no longer shows.
        wait_for(lambda: not showing(window) or active_paths(app) - before, what)


def has_focus(node):
    """Whether the control, or one inside it (a combo box's text box), has the keyboard focus."""
    return any(has_state(n, "focused") for n in walk(node))


def click_into(node, **how):
    """Clicks into a control and waits until it, or one inside it, has the focus."""
    # The window manager holds a click back until it has seen it: keys pressed at once could
    # reach the control that had the focus before.
    click(node, **how)
    wait_for(lambda: has_focus(node), "the focus in %s" % describe(node))


def type_over(box, typed):
    """Clicks into a box, waits for the focus there, selects all it holds and types over it."""
    click_into(box)
    key("ctrl+a")
    type_text(typed)
    wait_for(lambda: text(box) == typed, "%r typed into %s" % (typed, describe(box)))


class _Keyboard:
    """Gives each character beyond the keyboard a key of its own, kept for the session.

    xdotool would bind such a character to a scratch key and unbind it right after the key press;
    a client that reads the new key map only after the unbinding then sees a key without a
    character, and the character is lost. A binding made before the key press and kept since is
    in every key map that a client reads after it.
    """

    def __init__(self):
        self.display = None
        self.free = []
        self.bound = {}

    def _reset(self):
        self.display = os.environ.get("DISPLAY")
        self.bound = {}
        table = subprocess.run(["xmodmap", "-pke"], capture_output=True, text=True, check=True).stdout
        self.free = []
        for line in table.splitlines():
            code_part, _, syms = line.partition("=")
            syms = syms.split()
            # Keys without a character, and the media keys that nobody presses here.
            if all(sym == "NoSymbol" or sym.startswith("XF86") for sym in syms):
                self.free.append(int(code_part.split()[1]))

    def bind(self, text):
        if self.display != os.environ.get("DISPLAY"):
            self._reset()
        wanted = []
        for ch in dict.fromkeys(text):
            if ord(ch) > 0x7e and ch not in self.bound:
                wanted.append(ch)
        if not wanted:
            return
        if len(wanted) > len(self.free) + len(self.bound):
            raise AssertionError("too many different characters to type at once")
        lines = []
        for ch in wanted:
            if not self.free:
                # The least recently bound character gives its key up.
                old, code = next(iter(self.bound.items()))
                del self.bound[old]
                self.free.append(code)
            code = self.free.pop(0)
            self.bound[ch] = code
            keysym = "U%04X" % ord(ch)
            lines += ["-e", "keycode %d = %s %s" % (code, keysym, keysym)]
        subprocess.run(["xmodmap"] + lines, check=True, timeout=30)


_keyboard = _Keyboard()


def drag_window(window, dx, dy):
    """Moves a window by its title bar, as a person drags it, and waits until it has moved."""
    x, y, w, _ = extents(window)
    start = (x + w // 2, max(1, y - 8))
    xdotool("mousemove", "--sync", *start)
    xdotool("mousedown", 1)
    for step in (1, 2, 4):
        xdotool("mousemove", "--sync", start[0] + dx * step // 4, start[1] + dy * step // 4)
    xdotool("mouseup", 1)
    wait_for(lambda: abs(extents(window)[0] - (x + dx)) <= 2 and abs(extents(window)[1] - (y + dy)) <= 2,
             "%s to move" % describe(window))


def type_text(text):
    """Types text key by key, Japanese as any other text."""
    if text:
        _keyboard.bind(text)
        xdotool("type", "--delay", 12, "--", text)


def key(*keys):
    """Presses keys in xdotool's names: "Return", "ctrl+f", "alt+i", "Tab"."""
    # xdotool waits its delay after the last key as well; the keys reach the program in their
    # order whatever the delay.
    xdotool("key", "--delay", 12, *keys)


# ---------------------------------------------------------------------------------------------
# Reading, as a screen reader reads

_pyatspi = None


def atspi():
    global _pyatspi
    if _pyatspi is None:
        import pyatspi  # after the desktop has set the session bus
        _pyatspi = pyatspi
    return _pyatspi


def role(node):
    return node.getRoleName()


def states(node):
    return node.getState()


def has_state(node, state_name):
    return states(node).contains(getattr(atspi(), "STATE_" + state_name.upper()))


def showing(node):
    try:
        return has_state(node, "showing")
    except Exception:
        return False


# The scale factor of each running program: its controls' places are given in its own pixels.
_scales = {}


def extents(node):
    """Where a control is on the screen, in screen pixels (a scaled program gives its own)."""
    e = node.queryComponent().getExtents(atspi().DESKTOP_COORDS)
    scale = _scales.get(node.get_process_id(), 1.0)
    return tuple(int(round(v * scale)) for v in (e.x, e.y, e.width, e.height))


def visible_extents(node):
    e = extents(node)
    return e if showing(node) and e[2] > 0 and e[3] > 0 else None


def describe(node):
    try:
        return "%s %r" % (role(node), node.name)
    except Exception:
        return "a control that went away"


def children(node):
    result = []
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            result.append(child)
    return result


def walk(node, into_tables=False, only_showing=True):
    """Every node below node (itself first); a grid's cells only when asked for."""
    if only_showing and not showing(node) and role(node) not in ("application",):
        return
    yield node
    if not into_tables and role(node) in ("table", "tree table", "list", "tree"):
        return
    for child in children(node):
        yield from walk(child, into_tables, only_showing)


def find_all(root, role_name=None, name=None, only_showing=True, into_tables=False):
    return [n for n in walk(root, into_tables, only_showing)
            if (role_name is None or role(n) == role_name) and (name is None or n.name == name)]


def find(root, role_name=None, name=None, only_showing=True, timeout=TIMEOUT):
    what = "%s %r in %s" % (role_name or "a control", name, describe(root))

    def first():
        found = find_all(root, role_name, name, only_showing)
        return found[0] if found else None

    return wait_for(first, what, timeout)


def text(node):
    """The value a screen reader reads: a text's contents, a combo box's text, else the name."""
    for candidate in [node] + children(node):
        try:
            t = candidate.queryText()
            return t.getText(0, -1)
        except NotImplementedError:
            continue
    return node.name


def table_headers(table_node):
    table = table_node.queryTable()
    return [table.getColumnDescription(c) for c in range(table.nColumns)]


def table_rows(table_node, limit=200):
    """The cells of a grid, row by row, as texts."""
    table = table_node.queryTable()
    rows = []
    for r in range(min(table.nRows, limit)):
        row = []
        for c in range(table.nColumns):
            cell = table.getAccessibleAt(r, c)
            row.append(text(cell) if cell is not None else "")
        rows.append(row)
    return rows


def table_row_count(table_node):
    return table_node.queryTable().nRows


def table_cell(table_node, row, column):
    return table_node.queryTable().getAccessibleAt(row, column)


# ---------------------------------------------------------------------------------------------
# The program


class ProgramFolder:
    """A program folder of its own: the program, its help file and a fresh memo book."""

    def __init__(self, path, desktop, log_dir, make_book=True):
        self.path = path
        self.desktop = desktop
        self.log_dir = log_dir
        self.runs = []
        os.makedirs(path, exist_ok=True)
        shutil.copy2(PROGRAM, os.path.join(path, "orvalent"))
        shutil.copy2(HELP_FILE, os.path.join(path, "ｵﾙﾊﾞﾚﾝﾄ.HLP"))
        self.book = os.path.join(path, "IDATA2.mdb")
        if make_book:
            subprocess.run([MEMO_BOOK_MAKER, self.book], check=True, stdout=subprocess.DEVNULL)

    # The memo book, as another program sees it.
    def connect(self, timeout=10.0):
        db = sqlite3.connect(self.book, timeout=timeout, isolation_level=None)
        return db

    def sql(self, statement, params=()):
        with contextlib.closing(self.connect()) as db:
            return db.execute(statement, params).fetchall()

    def add_memo(self, date=None, keyword=None, key1=None, key2=None, app=None, memo=None, file=None):
        # Python folds the half-width names of the fields in its own names, so they are spelt here.
        values = dict(zip(MEMO_FIELDS, (date, keyword, key1, key2, app, memo, file)))
        names = [n for n, v in values.items() if v is not None]
        with contextlib.closing(self.connect()) as db:
            cursor = db.execute("INSERT INTO メモ帳 (%s) VALUES (%s)" % (", ".join(names), ", ".join("?" * len(names))),
                                [values[n] for n in names])
            return cursor.lastrowid

    def add_application(self, app_id, path):
        with contextlib.closing(self.connect()) as db:
            # As the program's first start adds it to a book without it.
            db.execute("CREATE TABLE IF NOT EXISTS パス (ID INTEGER PRIMARY KEY AUTOINCREMENT,"
                       " アプリＩＤ TEXT(255) COLLATE NOCASE CHECK (length(アプリＩＤ) <= 255),"
                       " パス TEXT(255) COLLATE NOCASE CHECK (length(パス) <= 255))")
            db.execute("CREATE INDEX IF NOT EXISTS PrimaryKey ON パス (ID)")
            db.execute("INSERT INTO パス (アプリＩＤ, パス) VALUES (?, ?)", (app_id, path))

    def memos(self):
        return self.sql("SELECT ID, 日付, ｷｰﾜｰﾄﾞ, 検索キー１, 検索キー２, 予備１, メモ, ヘルプファイル FROM メモ帳 ORDER BY ID")

    def memo(self, memo_id):
        rows = self.sql("SELECT ID, 日付, ｷｰﾜｰﾄﾞ, 検索キー１, 検索キー２, 予備１, メモ, ヘルプファイル FROM メモ帳 "
                        "WHERE ID = ?", (memo_id,))
        if not rows:
            return None
        return dict(zip(("ID",) + ("日付", "ｷｰﾜｰﾄﾞ", "検索キー１", "検索キー２", "予備１", "メモ", "ヘルプファイル"), rows[0]))

    def integrity(self):
        return self.sql("PRAGMA integrity_check")[0][0]

    def start(self, env=None, args=(), wait_main=True, name=None):
        run = Running(self, env or {}, list(args), name or "program-%d" % (len(self.runs) + 1))
        self.runs.append(run)
        if wait_main:
            run.main_window()
            # A screen reader sees the main window before the window manager has placed it; a
            # person clicks once it is there, and active.
            wait_for(lambda: run.active_window() is not None, "a window of the program to be active")
        return run

    def stop_all(self):
        for run in self.runs:
            run.kill()


class Running:
    """One running copy of the program."""

    def __init__(self, folder, env, args, name):
        self.folder = folder
        self.name = name
        self.log_path = os.path.join(folder.log_dir, name + ".log")
        environment = dict(os.environ)
        environment.update({"LANG": "C.UTF-8", "LC_ALL": "C.UTF-8",
                            "QT_LOGGING_RULES": "orv.*=true",
                            "HOME": os.path.join(folder.path, "home"),
                            "XDG_CONFIG_HOME": os.path.join(folder.path, "home", ".config")})
        os.makedirs(environment["HOME"], exist_ok=True)
        environment.update(env)
        self.log = open(self.log_path, "wb")
        self.process = subprocess.Popen([os.path.join(folder.path, "orvalent")] + args, cwd=folder.path,
                                        env=environment, stdout=self.log, stderr=subprocess.STDOUT)
        _scales[self.process.pid] = float(environment.get("QT_SCALE_FACTOR") or 1)
        self._app = None

    @property
    def pid(self):
        return self.process.pid

    def alive(self):
        return self.process.poll() is None

    def app(self, timeout=2 * TIMEOUT):
        # The registry can take its time to list a new program while both cores are busy.
        if self._app is not None:
            return self._app
        desktop = atspi().Registry.getDesktop(0)

        def mine():
            if not self.alive():
                raise AssertionError("the program ended with %s; its log:\n%s" % (self.process.returncode,
                                                                                 self.read_log()))
            for app in children(desktop):
                if app.get_process_id() == self.pid and app.childCount > 0:
                    return app
            return None

        self._app = wait_for(mine, "the program on the accessibility bus", timeout)
        return self._app

    def windows(self):
        return [w for w in children(self.app()) if showing(w)]

    def window(self, title, timeout=TIMEOUT, active=True):
        """The program's window of that title, once it is on the screen and (unless active=False) active."""
        # A click sent before the window manager has made a new window active is lost.
        def shown():
            return next((w for w in self.windows() if w.name == title and (not active or has_state(w, "active"))),
                        None)

        return wait_for(shown, "the window %r%s" % (title, " to be active" if active else ""), timeout)

    def has_window(self, title):
        return any(w.name == title for w in self.windows())

    def wait_window_gone(self, title, timeout=TIMEOUT):
        """Waits until the window has closed; a program that has ended has closed it as well."""
        wait_for(lambda: not self.alive() or not self.has_window(title), "the window %r to close" % title, timeout)

    def main_window(self):
        """The main window, active or not."""
        return self.window(MAIN, active=False)

    def message(self, timeout=TIMEOUT):
        """The message box on the screen: (node, its text)."""
        def box():
            for w in self.windows():
                # Answered once the window manager has placed it and it has the focus.
                if role(w) in ("alert", "dialog") and has_state(w, "active") and find_all(w, "push button"):
                    labels = [text(n) for n in find_all(w, "label") if text(n)]
                    return w, "\n".join(labels)
            return None

        return wait_for(box, "a message box", timeout)

    def no_message(self):
        return not any(role(w) in ("alert", "dialog") for w in self.windows())

    def answer(self, caption, timeout=TIMEOUT):
        """Clicks a button of the message box on the screen; returns the message's text."""
        box, message = self.message(timeout)
        # Qt's own buttons carry their access key: "はい(Y)".
        button = wait_for(lambda: next((b for b in find_all(box, "push button")
                                        if b.name == caption or b.name.startswith(caption + "(")), None),
                          "a button %r in the message box" % caption)
        click(button)
        wait_for(lambda: not any(w.name == box.name and role(w) == role(box) for w in self.windows())
                 or box not in self.windows(), "the message box to close")
        return message

    def focused(self):
        """The control that has the keyboard focus, as a screen reader would announce it."""
        for w in self.windows():
            if not has_state(w, "active"):
                continue
            for node in walk(w):
                # Qt marks the tab of the page in front as focused wherever the focus is.
                if role(node) in ("page tab", "page tab list", "filler"):
                    continue
                if has_state(node, "focused"):
                    return node
        return None

    def active_window(self):
        for w in self.windows():
            if has_state(w, "active"):
                return w
        return None

    def read_log(self):
        self.log.flush()
        with open(self.log_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def wait_exit(self, timeout=TIMEOUT):
        wait_for(lambda: not self.alive(), "the program to end", timeout)
        return self.process.returncode

    def kill(self):
        if self.alive():
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(5)
        self.log.close()

    def rss_peak_kb(self):
        with open("/proc/%d/status" % self.pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
        return 0


# ---------------------------------------------------------------------------------------------
# Steps through the program's windows


def open_window(run, caption):
    """Clicks the main window's button of that caption; the window it opens, once it is active."""
    click(find(run.main_window(), "push button", caption))
    return run.window(caption)


def activate(window):
    """Makes a window of the program the active one with a click into its bottom left corner."""
    # A bare spot in every window, which the others, opened at the same point, leave free.
    x, y, width, height = extents(window)
    click_at(x + 6, y + height - 4)
    wait_for(lambda: has_state(window, "active"), "%s to be active" % describe(window))


def field(window, caption):
    """A field of a window by its caption: its combo box or, without one, its text box."""
    def first():
        combos = find_all(window, "combo box", caption)
        if combos:
            return combos[0]
        return next((n for n in find_all(window, "text", caption) if role(n.parent) != "combo box"), None)

    return wait_for(first, "a field %r in %s" % (caption, describe(window)))


def wait_shown(window, caption, value):
    """Waits until the field of that caption shows the value."""
    wait_equal(lambda: text(field(window, caption)), value, "the field %r" % caption)


def describe_focus(run):
    """The control with the keyboard focus, for a message: its role, name and place."""
    node = run.focused()
    return "%s at %s" % (describe(node), extents(node)[:2]) if node is not None else "nothing"


def focus_is(run, name, role_name=None):
    """Whether the control with the keyboard focus has that name (and role)."""
    node = run.focused()
    return node is not None and node.name == name and (role_name is None or role(node) == role_name)


def wait_focus(run, name, role_name=None, timeout=TIMEOUT):
    """Waits until the control with the keyboard focus has that name (and role); else says where it is."""
    try:
        wait_for(lambda: focus_is(run, name, role_name), "the focus on %s %r" % (role_name or "a control", name),
                 timeout)
    except WaitTimeout:
        raise WaitTimeout("the focus should be on %s %r, it is on %s"
                          % (role_name or "a control", name, describe_focus(run))) from None


# Drop-down lists


def _list_items(node):
    return find_all(node, "list item", into_tables=True)


def _dropped_list(run, combo, windows_before):
    """The list that the combo box has dropped down: below it, or in a window that was not there before."""
    for node in find_all(combo, "list"):
        if _list_items(node):
            return node
    for window in run.windows():
        if window.path in windows_before:
            continue
        for node in find_all(window, "list"):
            if _list_items(node):
                return node
    return None


def drop_down(run, combo):
    """Clicks the combo box's ▼ button at its right edge; the list it shows and that list's entries."""
    before = {w.path for w in run.windows()}
    click(combo, dx=extents(combo)[2] - 6)
    shown = wait_for(lambda: _dropped_list(run, combo, before), "the drop-down list of %s" % describe(combo))
    return shown, [text(item) for item in _list_items(shown)]


def pick_by_click(run, combo, entry):
    """Drops the list down with the ▼ button and clicks the entry; the entries that it listed."""
    shown, entries = drop_down(run, combo)
    item = next((i for i in _list_items(shown) if text(i) == entry), None)
    assert item is not None, "%r is not in the drop-down list %r" % (entry, entries)
    click(item)
    wait_for(lambda: text(combo) == entry, "%r picked into %s" % (entry, describe(combo)))
    return entries


def pick_by_keys(combo, entry):
    """Opens the drop-down list with Alt+Down, goes to the entry by typing its first letter, Enter."""
    click_into(combo)
    key("alt+Down")
    type_text(entry[0])
    key("Return")
    wait_for(lambda: text(combo) == entry, "%r taken into %s" % (entry, describe(combo)))


# The file dialog


def fill_file_dialog(run, title, path):
    """In the file dialog of that title: types the full path into its file name box and presses Enter."""
    name_box = find(run.window(title), "text", "ファイル名(N):")
    type_over(name_box, path)
    key("Return")


def _file_dialog_closed(run, title, owner):
    run.wait_window_gone(title)
    # A click sent before the window manager has made the window active again is lost.
    run.window(owner)


def choose_file(run, title, path, owner):
    """Chooses the file of that full path in the file dialog; returns once its owner window is active again."""
    fill_file_dialog(run, title, path)
    _file_dialog_closed(run, title, owner)


def cancel_file_dialog(run, title, owner, how="button"):
    """Closes the file dialog with its キャンセル button (or how="Escape"), back in the owner window."""
    dialog = run.window(title)
    if how == "Escape":
        find(dialog, "text", "ファイル名(N):")  # the dialog is built: Esc goes to it
        key("Escape")
    else:
        click(find(dialog, "push button", "キャンセル"))
    _file_dialog_closed(run, title, owner)


# The help viewer


def help_viewer(run, file_name=None, active=True):
    """The viewer's window once it is on the screen, and, unless told otherwise, active: the one on
    that file, or on any."""
    def on_it(w):
        title = w.name
        shown = title == "ヘルプ - " + file_name if file_name else title.startswith("ヘルプ - ")
        return shown and (not active or has_state(w, "active"))

    return wait_for(lambda: next((w for w in run.windows() if on_it(w)), None),
                    "the viewer on %s" % (file_name or "a file"))


def _viewer_page(viewer):
    """The shown page: the text of the viewer that holds the whole file."""
    for node in walk(viewer):
        try:
            if node.queryText().characterCount > 1000:
                return node
        except NotImplementedError:
            continue
    return None


def top_line(viewer):
    """The line of the file at the top of the viewer's page, as a screen reader finds it there."""
    page = _viewer_page(viewer)
    if page is None:
        return None
    page_text = page.queryText()
    x, y, _, _ = extents(page)
    for dy in range(2, 80, 2):
        offset = page_text.getOffsetAtPoint(x + 12, y + dy, atspi().DESKTOP_COORDS)
        if offset >= 0:
            line = page_text.getTextAtOffset(offset, atspi().TEXT_BOUNDARY_LINE_START)[0]
            if line.strip():
                return line.strip()
    return None


def chosen_topics(viewer):
    """The topics chosen in the viewer's index, without their indent."""
    return [text(item).strip("\u3000 ") for node in find_all(viewer, "list") for item in _list_items(node)
            if has_state(item, "selected")]


# Grids and pages


def table_ids(table_node):
    """The IDs in a grid's first column, row by row."""
    return [int(row[0]) for row in table_rows(table_node)]


def wait_ids(table_node, ids, what="the memos listed"):
    """Waits until the grid lists the rows of those IDs, in that order."""
    wait_equal(lambda: table_ids(table_node), ids, what)


def click_header(table_node, header):
    """Clicks the header of a grid's column of that caption."""
    column = table_headers(table_node).index(header)
    click(table_node.queryTable().getColumnHeader(column))


def open_context_menu(table_node, row):
    """Right-clicks a grid's row (its third cell) and waits until its menu, not announced itself, is up."""
    click(table_cell(table_node, row, 2), button=3)
    # The grid takes the focus with the press that opens the menu, and the program answers a
    # screen reader again only once the menu is up: the keys that follow reach the menu.
    wait_for(lambda: has_state(table_node, "focused"), "the focus in %s" % describe(table_node))


def front_page(window):
    """The name of the page in front ("ページ 2"): its tab is the selected one."""
    return next(tab.name for tab in find_all(window, "page tab") if has_state(tab, "selected"))


def display_search(window, keyword="", key1="", key2=""):
    """Types what is given into the display window's search boxes and clicks 検索開始."""
    for caption, value in (("ｷｰﾜｰﾄﾞ", keyword), ("検索キー１", key1), ("検索キー２", key2)):
        if value:
            type_over(field(window, caption), value)
            # The entries offered lie over the boxes below; Esc puts them away.
            key("Escape")
    click(find(window, "push button", "検索開始"))


def display_page(window):
    """The display window's page in front, as read: its date, keyword and memo, and its keep box (保存)."""
    shown = {}
    for node in walk(window):
        # The page's boxes are named with their page: "メモ（ページ 2）".
        caption = node.name.split("（ページ")[0]
        if role(node) == "text" and caption in ("日付", "ｷｰﾜｰﾄﾞ", "メモ") and role(node.parent) != "combo box":
            shown.setdefault(caption, text(node))
        elif role(node) == "check box" and node.name == "保存":
            shown["保存"] = has_state(node, "checked")
    return shown


# Dates, as the windows show them and as the memo book stores them


def _date(day):
    return datetime.date(*map(int, day.split("/"))) if isinstance(day, str) else day


def long_date(day):
    """A date (or a stored 2026/12/03) as the date boxes show it: 2026年12月3日."""
    day = _date(day)
    return "%d年%d月%d日" % (day.year, day.month, day.day)


def short_date(day):
    """A date as the memo book stores it: 2026/12/03."""
    return "%04d/%02d/%02d" % (day.year, day.month, day.day)


# ---------------------------------------------------------------------------------------------
# Another program's lock on the memo book


class Lock:
    """Another program holding the memo book's write lock (or, exclusive, every lock) until released."""

    def __init__(self, book, exclusive=False):
        self.db = sqlite3.connect(book, timeout=10, isolation_level=None, check_same_thread=False)
        self.timer = None
        # In the memo book's rollback journal an exclusive lock keeps readers out as well.
        self.db.execute("BEGIN EXCLUSIVE" if exclusive else "BEGIN IMMEDIATE")

    def release_after(self, seconds):
        self.timer = threading.Timer(seconds, self.release)
        self.timer.start()

    def release(self):
        if self.timer is not None and self.timer is not threading.current_thread():
            self.timer.join()
        if self.db is not None:
            self.db.execute("ROLLBACK")
            self.db.close()
            self.db = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.release()
