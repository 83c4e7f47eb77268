"""The main window: its buttons open the one copy of each window, its menu opens the help and the
version window, and closing it closes the windows that belong to it."""
import pytest

import harness as h
from harness import APPS, DISPLAY, ENTRY, MAIN, VERSION


def count_windows(run, title):
    return sum(1 for w in run.windows() if w.name == title)


@pytest.mark.parametrize("caption, other", [(ENTRY, DISPLAY), (DISPLAY, ENTRY), (APPS, ENTRY)],
                         ids=["entry", "display", "apps"])
def test_a_button_opens_its_window_and_then_brings_it_to_the_front(folder, caption, other):
    run = folder.start()
    h.open_window(run, caption)
    h.open_window(run, other)
    h.click(h.find(run.main_window(), "push button", caption))
    run.window(caption)  # active again
    assert count_windows(run, caption) == 1
    assert count_windows(run, other) == 1


def test_the_entry_window_opened_again_adds_no_second_memo(folder):
    run = folder.start()
    h.open_window(run, ENTRY)
    h.wait_for(lambda: len(folder.memos()) == 1, "the new memo of the empty book")
    h.open_window(run, DISPLAY)
    h.click(h.find(run.main_window(), "push button", ENTRY))
    run.window(ENTRY)  # active again
    assert len(folder.memos()) == 1


@pytest.mark.parametrize("how", ["click", "alt+h"])
def test_the_help_command_opens_the_help(folder, how):
    run = folder.start()
    main = run.window(MAIN)
    if how == "click":
        h.click(h.find(main, "menu item", "ヘルプ（H）"))
    else:
        h.key(how)
    viewer = h.help_viewer(run)
    assert viewer.name.startswith("ヘルプ")
    assert sorted(w.name for w in run.windows()) == sorted([MAIN, viewer.name])


@pytest.mark.parametrize("close", ["OK", "Escape"])
def test_the_version_window(folder, close):
    run = folder.start()
    main = run.window(MAIN)
    h.click(h.find(main, "menu item", "ﾊﾞｰｼﾞｮﾝ情報(A)"))
    version = run.window(VERSION)
    h.find(version, "label", "オルバレント　Ｖｅｒｓｉｏｎ　２．０１")
    # Left-aligned with the main window and standing on it: between the two windows' contents lies
    # only the main window's title bar.
    vx, vy, vw, vh = h.extents(version)
    mx, my, mw, mh = h.extents(main)
    assert abs(vx - mx) <= 2
    assert 0 <= my - (vy + vh) <= 48

    # Chosen again while it is open: the one window comes to the front.
    h.activate(main)
    h.click(h.find(main, "menu item", "ﾊﾞｰｼﾞｮﾝ情報(A)"))
    run.window(VERSION)
    assert count_windows(run, VERSION) == 1

    if close == "OK":
        h.click(h.find(version, "push button", "OK"))
    else:
        h.key("Escape")
    run.wait_window_gone(VERSION)
    assert run.has_window(MAIN) and run.alive()


@pytest.mark.parametrize("apps_open", [False, True], ids=["without-apps", "with-apps"])
@pytest.mark.parametrize("how", ["終了", "alt+F4"], ids=["exit-button", "window-close"])
def test_closing_the_main_window_closes_its_windows(folder, how, apps_open):
    run = folder.start()
    main = run.main_window()
    entry = h.open_window(run, ENTRY)
    memo = h.find(entry, "text", "メモ")
    h.wait_for(lambda: h.has_state(memo, "focused"), "the focus in the memo box")
    h.type_text("閉じる前のメモ")
    h.wait_for(lambda: h.text(memo) == "閉じる前のメモ", "the typing in the memo box")
    h.open_window(run, DISPLAY)
    h.click(h.find(main, "menu item", "ﾊﾞｰｼﾞｮﾝ情報(A)"))
    run.window(VERSION)
    if apps_open:
        h.open_window(run, APPS)

    if how == "終了":
        h.click(h.find(main, "push button", "終了"))
    else:
        h.activate(main)
        h.key(how)

    for title in (ENTRY, DISPLAY, VERSION, MAIN):
        run.wait_window_gone(title)
    # The entry window stores what was typed as it closes.
    h.wait_for(lambda: folder.memo(1) and folder.memo(1)["メモ"] == "閉じる前のメモ", "the typing stored")
    if apps_open:
        apps = run.window(APPS)
        assert run.alive()
        assert [w.name for w in run.windows()] == [APPS]
        h.click(h.find(apps, "push button", "終了"))
    assert run.wait_exit() == 0
