"""Every window opens wholly on the screen at twice the scale on a 1280×1024 screen (640×512 to the
program), keeping its size; the full-text box beside the grid, not over the search boxes."""
import re
import subprocess

import pytest

import harness as h
from harness import APPS, DISPLAY, ENTRY, MAIN, VERSION
from sample_book import fill_book


def frame_of(run, title):
    """The window's place with its window manager's frame, in screen pixels."""
    ids = subprocess.run(["xdotool", "search", "--all", "--pid", str(run.pid), "--name", "^%s$" % re.escape(title)],
                         capture_output=True, text=True).stdout.split()
    frames = []
    for wid in ids:
        info = subprocess.run(["xwininfo", "-frame", "-id", wid], capture_output=True, text=True).stdout
        values = dict(re.findall(r"^\s*(Absolute upper-left X|Absolute upper-left Y|Width|Height|Map State):\s*(\S+)",
                                 info, re.M))
        if values.get("Map State") == "IsViewable":
            frames.append(tuple(int(values[k]) for k in ("Absolute upper-left X", "Absolute upper-left Y",
                                                          "Width", "Height")))
    return frames[0] if len(frames) == 1 else None


def on_screen(desktop, frame):
    x, y, w, height = frame
    return x >= 0 and y >= 0 and x + w <= desktop.width and y + height <= desktop.height


def open_version(run):
    h.key("alt+a")
    return run.window(VERSION)


def open_full_text_box(run):
    h.open_window(run, DISPLAY)
    h.key("ctrl+f")
    return run.window("全文検索")


def open_viewer(run):
    h.key("F1")
    return h.help_viewer(run)


OPENERS = {
    MAIN: lambda run: run.window(MAIN),
    ENTRY: lambda run: h.open_window(run, ENTRY),
    DISPLAY: lambda run: h.open_window(run, DISPLAY),
    APPS: lambda run: h.open_window(run, APPS),
    VERSION: open_version,
    "全文検索": open_full_text_box,
    "help viewer": open_viewer,
}


@pytest.mark.parametrize("scale", ["1", "2"])
@pytest.mark.parametrize("which", list(OPENERS))
def test_every_window_opens_wholly_on_the_screen(folder, desktop, scale, which):
    fill_book(folder)
    run = folder.start(env={"QT_SCALE_FACTOR": scale})
    window = OPENERS[which](run)
    title = window.name
    frame = h.wait_for(lambda: frame_of(run, title), "the frame of %r" % title)
    assert on_screen(desktop, frame), "%r at %r on a %dx%d screen" % (title, frame, desktop.width, desktop.height)
    if which == "全文検索":
        # Beside the grid: the search boxes and the grid's header stay in sight.
        display = run.window(DISPLAY, active=False)
        box = h.extents(window)
        for caption in ("ｷｰﾜｰﾄﾞ", "検索キー１", "検索キー２"):
            assert not overlaps(box, h.extents(h.field(display, caption))), caption
        header = h.find(display, "table").queryTable().getColumnHeader(0)
        assert not overlaps(box, h.extents(header))


def overlaps(a, b):
    return a[0] < b[0] + b[2] and b[0] < a[0] + a[2] and a[1] < b[1] + b[3] and b[1] < a[1] + a[3]
