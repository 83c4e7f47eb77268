"""Every window used from the keyboard alone once it is open: Tab walks the controls in their
order, Enter presses the button that has the focus, and a memo is written, stored and found again
without the mouse."""
import pytest

import harness as h
from harness import APPS, DISPLAY, ENTRY, MAIN, VERSION
from sample_book import MEMOS, fill_book, page_of

B, T, C = "push button", "text", "combo box"

# From the control that has the focus when the window opens, once round.
TAB_ORDERS = {
    MAIN: [(B, "ヘルプ登録"), (B, "ヘルプ表示／修正"), (B, "アプリケーション登録"), (B, "終了")],
    ENTRY: [(T, "メモ"), (B, "設定ファイル表示"), (B, "設定"), (B, "ヘルプ"), (B, "先頭"), (B, "前"), (B, "次"),
            (B, "最後"), (B, "保存"), (B, "取消"), (B, "追加"), (B, "削除"), (B, "終了"), (T, "日付"),
            (C, "アプリＩＤ"), (B, "アプリケーション登録"), (C, "登録済みのアプリＩＤ"), (T, "表示ﾌｧｲﾙ"),
            (C, "ｷｰﾜｰﾄﾞ"), (C, "検索キー１"), (C, "検索キー２")],
    DISPLAY: [(C, "ｷｰﾜｰﾄﾞ"), (C, "検索キー１"), (C, "検索キー２"), ("table", "検索結果"), (B, "全データ表示"),
              (B, "検索開始"), (B, "ファイル表示"), (T, "メモ（ページ 0）"), ("check box", "保存"), (B, "ヘルプ修正"),
              (B, "ヘルプ"), (B, "終了")],
    APPS: [(C, "アプリケーションのパス"), (B, "ヘルプ"), (B, "アプリケーション登録"),
           ("table", "登録済みのアプリケーション"), (B, "先頭"), (B, "前"), (B, "次"), (B, "最後"), (B, "保存"),
           (B, "取消"), (B, "追加"), (B, "削除"), (B, "終了"), (C, "アプリＩＤ")],
    VERSION: [(B, "OK")],
}


def open_by_keys(run, title):
    """Opens a window from the main window; the version window by its menu's access key."""
    if title == MAIN:
        return run.window(MAIN)
    if title == VERSION:
        h.key("alt+a")
        return run.window(VERSION)
    return h.open_window(run, title)


def tab_to(run, role, name, key="Tab", limit=40):
    """Presses Tab (or key) until the focus is on that control."""
    for _ in range(limit):
        if h.focus_is(run, name, role):
            return
        before = h.describe_focus(run)
        h.key(key)
        h.wait_for(lambda: h.describe_focus(run) != before, "the focus to move on from %s" % before)
    raise AssertionError("%s never reached %s %r" % (key, role, name))


@pytest.mark.parametrize("title", list(TAB_ORDERS))
def test_tab_walks_the_controls_in_order(folder, title):
    fill_book(folder)
    folder.add_application("ワープロ", "/usr/bin/libreoffice")
    run = folder.start()
    open_by_keys(run, title)
    order = TAB_ORDERS[title]
    first_role, first_name = order[0]
    h.wait_focus(run, first_name, first_role)
    for role, name in order[1:] + order[:1]:
        h.key("Tab")
        h.wait_focus(run, name, role)
    h.key("shift+Tab")
    last_role, last_name = order[-1]
    h.wait_focus(run, last_name, last_role)


@pytest.mark.parametrize("tabs, title", [(0, ENTRY), (1, DISPLAY), (2, APPS)])
def test_enter_presses_the_main_windows_focused_button(folder, tabs, title):
    run = folder.start()
    for _ in range(tabs):
        h.key("Tab")
    h.wait_focus(run, TAB_ORDERS[MAIN][tabs][1], B)
    h.key("Return")
    run.window(title)


def test_enter_on_exit_ends_the_program(folder):
    run = folder.start()
    tab_to(run, B, "終了")
    h.key("Return")
    assert run.wait_exit() == 0


@pytest.mark.parametrize("key", ["Return", "space"])
def test_version_window_closes_from_its_focused_ok(folder, key):
    run = folder.start()
    open_by_keys(run, VERSION)
    h.wait_focus(run, "OK", B)
    h.key(key)
    run.wait_window_gone(VERSION)


def test_memo_written_stored_and_found_without_the_mouse(folder):
    fill_book(folder)
    run = folder.start()
    h.key("Return")                          # ヘルプ登録 has the focus
    entry = run.window(ENTRY)
    h.wait_focus(run, "メモ", T)
    tab_to(run, B, "追加")
    h.key("Return")
    h.wait_for(lambda: len(folder.memos()) == 6, "a new memo added")
    h.wait_focus(run, "メモ", T)
    h.type_text("会議室は前日までに予約する。")
    for _ in range(3):
        h.key("shift+Tab")
    h.wait_focus(run, "ｷｰﾜｰﾄﾞ", C)
    for name, typed in (("ｷｰﾜｰﾄﾞ", "予約"), ("検索キー１", "会議室"), ("検索キー２", "前日")):
        h.wait_focus(run, name, C)
        h.type_text(typed)
        h.key("Tab")
    h.wait_focus(run, "メモ", T)
    tab_to(run, B, "保存")
    h.key("Return")
    h.wait_for(lambda: (folder.memo(6) or {}).get("検索キー２") == "前日", "the memo stored")
    stored = folder.memo(6)
    assert (stored["ｷｰﾜｰﾄﾞ"], stored["検索キー１"], stored["メモ"]) == ("予約", "会議室", "会議室は前日までに予約する。")
    assert stored["日付"]
    assert run.no_message() and h.has_state(entry, "showing")

    w = h.open_window(run, DISPLAY)
    table = h.find(w, "table")
    h.wait_ids(table, [1, 2, 3, 4, 5, 6])
    h.wait_focus(run, "ｷｰﾜｰﾄﾞ", C)
    h.type_text("予約")
    tab_to(run, B, "検索開始")
    h.key("Return")
    h.wait_ids(table, [6], "the memo found")
    assert h.display_page(w)["メモ"] == "会議室は前日までに予約する。"


def test_result_pages_turned_and_kept_by_keys(folder):
    fill_book(folder)
    run = folder.start()
    w = h.open_window(run, DISPLAY)
    h.wait_ids(h.find(w, "table"), [1, 2, 3, 4, 5])
    tab_to(run, T, "メモ（ページ 0）")
    for key, shown in (("ctrl+Tab", "1"), ("ctrl+Tab", "2"), ("ctrl+shift+Tab", "1"), ("ctrl+Tab", "2")):
        h.key(key)
        h.wait_for(lambda: h.front_page(w) == "ページ " + shown, "page %s in front after %s" % (shown, key))
        # What a reader says there: the box with its page.
        h.wait_focus(run, "メモ（ページ %s）" % shown)
    tab_to(run, "check box", "保存")
    h.key("space")
    h.wait_for(lambda: h.display_page(w)["保存"], "page 2 keeping its memo")
    tab_to(run, "table", "検索結果", key="shift+Tab")
    h.key("Down")
    tab_to(run, T, "メモ（ページ 2）")
    assert h.display_page(w) == page_of(MEMOS[0], kept=True)
    h.key("ctrl+shift+Tab", "ctrl+shift+Tab")
    h.wait_for(lambda: h.front_page(w) == "ページ 0", "page 0 in front")
    h.wait_for(lambda: h.display_page(w) == page_of(MEMOS[1]), "page 0 showing the memo moved to")


def test_application_registered_without_the_mouse(folder):
    run = folder.start()
    w = h.open_window(run, APPS)
    # An empty table gets an empty record to fill in.
    h.wait_for(lambda: folder.sql("SELECT ID, アプリＩＤ, パス FROM パス") == [(1, None, None)], "the empty record")
    h.wait_focus(run, "アプリケーションのパス", C)
    h.type_text("/usr/bin/libreoffice")
    h.key("shift+Tab")
    h.wait_focus(run, "アプリＩＤ", C)
    h.type_text("ワープロ")
    tab_to(run, B, "保存")
    h.key("Return")
    h.wait_for(lambda: folder.sql("SELECT ID, アプリＩＤ, パス FROM パス") == [(1, "ワープロ", "/usr/bin/libreoffice")],
               "the application stored")
    table = h.find(w, "table")
    h.wait_for(lambda: h.table_rows(table) == [["1", "ワープロ", "/usr/bin/libreoffice"]], "the grid showing it")
