"""F1 in every window, and each window's help button, open the help viewer at that window's topic."""
import pytest

import harness as h
from harness import APPS, DISPLAY, ENTRY, MAIN, VERSION

# Each window's topic, as its heading reads in the help file.
TOPICS = {MAIN: "オルバレント（メイン画面）", ENTRY: "ヘルプ登録", DISPLAY: "ヘルプ表示／修正",
          APPS: "アプリケーション登録", VERSION: "バージョン情報"}


def show(run, title):
    """The window of that title, opened and active."""
    if title == VERSION:
        h.click(h.find(run.main_window(), "menu item", "ﾊﾞｰｼﾞｮﾝ情報(A)"))
        return run.window(VERSION)
    if title == MAIN:
        return run.window(MAIN)
    return h.open_window(run, title)


def wait_topic(run, topic):
    viewer = h.help_viewer(run)
    h.wait_for(lambda: h.top_line(viewer) == topic,
               "the topic %r at the top of the help page (it shows %r)" % (topic, h.top_line(viewer)))
    assert h.chosen_topics(viewer) == [topic]
    return viewer


@pytest.mark.parametrize("title, how", [
    (MAIN, "F1"), (MAIN, "ヘルプ（H）"),
    (ENTRY, "F1"), (ENTRY, "ヘルプ"),
    (DISPLAY, "F1"), (DISPLAY, "ヘルプ"),
    (APPS, "F1"), (APPS, "ヘルプ"),
    (VERSION, "F1"),
], ids=["main-F1", "main-menu", "entry-F1", "entry-button", "display-F1", "display-button", "apps-F1",
        "apps-button", "version-F1"])
def test_help_opens_at_the_window_topic(folder, title, how):
    run = folder.start()
    window = show(run, title)
    if how == "F1":
        h.key("F1")
    elif how == "ヘルプ":
        h.click(h.find(window, "push button", how))
    else:
        h.click(h.find(window, "menu item", how))
    wait_topic(run, TOPICS[title])


def test_one_viewer_follows_the_window_that_asks(folder):
    run = folder.start()
    entry = show(run, ENTRY)
    show(run, APPS)
    h.key("F1")
    wait_topic(run, TOPICS[APPS])
    h.activate(entry)
    h.key("F1")
    viewer = wait_topic(run, TOPICS[ENTRY])
    assert [w.name for w in run.windows()].count(viewer.name) == 1


@pytest.mark.parametrize("keys", ["Escape", "ctrl+w"])
def test_the_viewer_closes_by_keys(folder, keys):
    run = folder.start()
    h.key("F1")
    viewer = wait_topic(run, TOPICS[MAIN])
    h.key(keys)
    run.wait_window_gone(viewer.name)
    assert run.alive() and run.has_window(MAIN)
