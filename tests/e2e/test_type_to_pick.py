"""Typing into a keyword, search-key or application ID box offers the entries that contain what was
typed; a click or a key outside them acts at once, exactly as it would without them."""
import pytest

import harness as h
from harness import APPS, DISPLAY, ENTRY


def picks(run):
    """The entries offered while typing, as a screen reader reads them; None when none are shown."""
    for window in run.windows():
        for node in h.find_all(window, "list", "候補"):
            return [h.text(item) for item in h.find_all(node, "list item", into_tables=True)] or None
    return None


@pytest.fixture
def book(folder):
    folder.add_memo(date="2026/12/01", keyword="印刷", key1="余白", memo="印刷のメモ")
    folder.add_memo(date="2026/12/02", keyword="印刷プレビュー", key1="余白の設定", memo="プレビューのメモ")
    folder.add_memo(date="2026/12/03", keyword="保存", key1="名前", memo="保存のメモ")
    return folder


def offered(run, box, typed):
    """Types over the box; the entries offered then."""
    h.type_over(box, typed)
    return h.wait_for(lambda: picks(run), "the entries offered for %r" % typed)


def test_search_runs_on_the_first_click(book):
    run = book.start()
    w = h.open_window(run, DISPLAY)
    grid = h.find(w, "table")
    h.wait_for(lambda: h.table_row_count(grid) == 3, "all memos listed")
    assert offered(run, h.field(w, "ｷｰﾜｰﾄﾞ"), "印刷") == ["印刷", "印刷プレビュー"]
    h.click(h.find(w, "push button", "検索開始"))
    h.wait_for(lambda: h.table_rows(grid) == [["1", "2026/12/01", "印刷", "余白", "", ""]], "the memo found")
    assert picks(run) is None


@pytest.mark.parametrize("title, caption, shown, typed, entries, stored", [
    (ENTRY, "ｷｰﾜｰﾄﾞ", "印刷", "保", ["保存"], "SELECT ｷｰﾜｰﾄﾞ FROM メモ帳 WHERE ID = 1"),
    (APPS, "アプリＩＤ", "HLP", "H", ["HLP"], "SELECT アプリＩＤ FROM パス"),
], ids=["entry-keyword", "application-id"])
def test_save_stores_on_the_first_click(book, title, caption, shown, typed, entries, stored):
    book.add_application("HLP", "")
    run = book.start()
    w = h.open_window(run, title)
    h.wait_shown(w, caption, shown)
    assert offered(run, h.field(w, caption), typed) == entries
    h.click(h.find(w, "push button", "保存"))
    h.wait_for(lambda: book.sql(stored) == [(typed,)], "the typed %s stored" % caption)
    assert run.no_message()


def test_a_click_into_the_memo_box_takes_the_typing_there(book):
    run = book.start()
    w = h.open_window(run, ENTRY)
    key1 = h.field(w, "検索キー１")
    h.wait_shown(w, "検索キー１", "余白")
    assert offered(run, key1, "余白") == ["余白", "余白の設定"]
    memo = h.field(w, "メモ")
    h.click_into(memo)
    h.key("ctrl+End")
    h.type_text("、追記")
    h.wait_for(lambda: h.text(memo) == "印刷のメモ、追記", "the typing in the memo box")
    assert h.text(key1) == "余白"
    h.click(h.find(w, "push button", "保存"))
    h.wait_for(lambda: book.memo(1)["メモ"] == "印刷のメモ、追記", "the memo stored")


def test_keys_choose_and_take_an_entry(book):
    run = book.start()
    w = h.open_window(run, DISPLAY)
    grid = h.find(w, "table")
    keyword = h.field(w, "ｷｰﾜｰﾄﾞ")
    offered(run, keyword, "印刷")
    h.key("Down", "Down", "Return")
    h.wait_for(lambda: h.text(keyword) == "印刷プレビュー", "the second entry taken")
    assert picks(run) is None
    # Enter in the box itself, with no list open, searches.
    h.key("Return")
    h.wait_for(lambda: h.table_rows(grid) == [["2", "2026/12/02", "印刷プレビュー", "余白の設定", "", ""]],
               "the memo found by Enter")


def test_tab_moves_on_at_once(book):
    run = book.start()
    w = h.open_window(run, DISPLAY)
    offered(run, h.field(w, "ｷｰﾜｰﾄﾞ"), "印")
    h.key("Tab")
    h.wait_focus(run, "検索キー１")
    assert picks(run) is None
