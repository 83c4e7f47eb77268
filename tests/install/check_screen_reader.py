#!/usr/bin/python3
"""What a screen reader reads of the running program over the accessibility bus (AT-SPI): every
window a frame, every text box and combo box named (not by its value), the grids with their
column headers. Run inside a session bus and an X display:
    dbus-run-session -- xvfb-run -a /usr/bin/python3 check_screen_reader.py <program> <memo book maker>
"""
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import time

import pyatspi

program, make_memo_book = sys.argv[1], sys.argv[2]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def find_app():
    for _ in range(100):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == "orvalent" and app.childCount > 0:
                return app
        time.sleep(0.1)
    return None


def walk(node):
    yield node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


def frame_named(app, title):
    for _ in range(50):
        for window in app:
            if window is not None and window.name == title:
                return window
        time.sleep(0.1)
    return None


def press(window, caption):
    for node in walk(window):
        if node.getRoleName() == "push button" and node.name == caption:
            node.queryAction().doAction(0)
            return True
    return False


def value_of(node):
    """The text a field holds; a combo box holds it in its text box."""
    for candidate in [node] + [node.getChildAtIndex(i) for i in range(node.childCount)]:
        try:
            return candidate.queryText().getText(0, -1)
        except NotImplementedError:
            continue
    return ""


with tempfile.TemporaryDirectory() as folder:
    shutil.copy(program, os.path.join(folder, "orvalent"))
    book = os.path.join(folder, "IDATA2.mdb")
    subprocess.run([make_memo_book, book], check=True, stdout=subprocess.DEVNULL)
    # A memo, so that the fields have values that a name could be mistaken for.
    with sqlite3.connect(book) as db:
        db.execute("INSERT INTO メモ帳 (日付, ｷｰﾜｰﾄﾞ, 検索キー１, 検索キー２, 予備１, メモ) "
                   "VALUES ('2026/12/07', '印刷', '余白', '用紙', 'HLP', '余白を変える')")
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    running = subprocess.Popen([os.path.join(folder, "orvalent")], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        app = find_app()
        check(app is not None, "the program is not on the accessibility bus")
        main = app and frame_named(app, "オルバレント")
        check(main is not None, "no main window")
        if main:
            for caption, title in (("ヘルプ登録", "ヘルプ登録"), ("ヘルプ表示／修正", "ヘルプ表示／修正"),
                                   ("アプリケーション登録", "アプリケーション登録")):
                check(press(main, caption), "no button " + caption)
                window = frame_named(app, title)
                check(window is not None, "no window " + title)
                if window is None:
                    continue
                check(window.getRoleName() == "frame", title + " is a " + window.getRoleName())
                fields = 0
                for node in walk(window):
                    role = node.getRoleName()
                    if role in ("text", "combo box") and node.getState().contains(pyatspi.STATE_SHOWING):
                        fields += 1
                        check(node.name != "", "%s: a %s without a name" % (title, role))
                        value = value_of(node)
                        check(value == "" or node.name != value, "%s: %s named by its value" % (title, node.name))
                    if role == "table":
                        table = node.queryTable()
                        headers = [table.getColumnDescription(c) for c in range(table.nColumns)]
                        check(all(headers), "%s: a grid column without its header: %s" % (title, headers))
                check(fields >= 3, "%s: only %d fields read" % (title, fields))
            check(main.getRoleName() == "frame", "the main window is a " + main.getRoleName())
    finally:
        running.terminate()
        running.wait(10)

for failure in failures:
    print("FAIL:", failure)
print("screen reader check:", "failed" if failures else "passed")
sys.exit(1 if failures else 0)
