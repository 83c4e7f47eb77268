"""Typing into a keyword, search-key or application ID box offers the entries that contain what was
typed; a click or a key outside them acts at once, exactly as it would without them."""
import pytest

import harness as h


def picks(run):
    """The entries offered while typing, as a screen reader reads them; None when none are shown."""
    for window in run.windows():
        for node in h.find_all(window, "list", "候補"):
            return [h.text(item) for item in h.find_all(node, "list item", into_tables=True)] or None
    return None


def open_window(run, caption):
    h.click(h.find(run.main_window(), "push button", caption))
    return run.window(caption)


@pytest.fixture
def book(folder):
    folder.add_memo(date="2026/12/01", keyword="印刷", key1="余白", memo="印刷のメモ")
    folder.add_memo(date="2026/12/02", keyword="印刷プレビュー", key1="余白の設定", memo="プレビューのメモ")
    folder.add_memo(date="2026/12/03", keyword="保存", key1="名前", memo="保存のメモ")
    return folder


def type_into(box, typed):
    h.click(box)
    h.key("ctrl+a")
    h.type_text(typed)


def test_search_runs_on_the_first_click(book):
    run = book.start()
    w = open_window(run, "ヘルプ表示／修正")
    grid = h.find(w, "table")
    h.wait_for(lambda: h.table_row_count(grid) == 3, "all memos listed")
    type_into(h.find(w, "combo box", "ｷｰﾜｰﾄﾞ"), "印刷")
    assert h.wait_for(lambda: picks(run), "the picks") == ["印刷", "印刷プレビュー"]
    h.click(h.find(w, "push button", "検索開始"))
    h.wait_for(lambda: h.table_rows(grid) == [["1", "2026/12/01", "印刷", "余白", "", ""]], "the memo found")
    assert picks(run) is None


def test_save_stores_on_the_first_click(book):
    run = book.start()
    w = open_window(run, "ヘルプ登録")
    keyword = h.find(w, "combo box", "ｷｰﾜｰﾄﾞ")
    h.wait_for(lambda: h.text(keyword) == "印刷", "the first memo shown")
    type_into(keyword, "保")
    assert h.wait_for(lambda: picks(run), "the picks") == ["保存"]
    h.click(h.find(w, "push button", "保存"))
    h.wait_for(lambda: book.memo(1)["ｷｰﾜｰﾄﾞ"] == "保", "the typed keyword stored")
    assert run.no_message()


def test_a_click_into_the_memo_box_takes_the_typing_there(book):
    run = book.start()
    w = open_window(run, "ヘルプ登録")
    key1 = h.find(w, "combo box", "検索キー１")
    h.wait_for(lambda: h.text(key1) == "余白", "the first memo shown")
    type_into(key1, "余白")
    assert h.wait_for(lambda: picks(run), "the picks") == ["余白", "余白の設定"]
    memo = h.find(w, "text", "メモ")
    h.click(memo)
    h.wait_for(lambda: h.has_state(memo, "focused"), "the memo box to have the focus")
    h.key("ctrl+End")
    h.type_text("、追記")
    h.wait_for(lambda: h.text(memo) == "印刷のメモ、追記", "the typing in the memo box")
    assert h.text(key1) == "余白"
    h.click(h.find(w, "push button", "保存"))
    h.wait_for(lambda: book.memo(1)["メモ"] == "印刷のメモ、追記", "the memo stored")


def test_application_id_saved_on_the_first_click(book):
    book.add_application("HLP", "")
    run = book.start()
    w = open_window(run, "アプリケーション登録")
    app_id = h.find(w, "combo box", "アプリＩＤ")
    h.wait_for(lambda: h.text(app_id) == "HLP", "the registered application shown")
    type_into(app_id, "H")
    assert h.wait_for(lambda: picks(run), "the picks") == ["HLP"]
    h.click(h.find(w, "push button", "保存"))
    h.wait_for(lambda: book.sql("SELECT アプリＩＤ FROM パス") == [("H",)], "the typed ID stored")


def test_keys_choose_and_take_an_entry(book):
    run = book.start()
    w = open_window(run, "ヘルプ表示／修正")
    grid = h.find(w, "table")
    keyword = h.find(w, "combo box", "ｷｰﾜｰﾄﾞ")
    type_into(keyword, "印刷")
    h.wait_for(lambda: picks(run), "the picks")
    h.key("Down", "Down", "Return")
    h.wait_for(lambda: h.text(keyword) == "印刷プレビュー", "the second entry taken")
    assert picks(run) is None
    # Enter in the box itself, with no list open, searches.
    h.key("Return")
    h.wait_for(lambda: h.table_rows(grid) == [["2", "2026/12/02", "印刷プレビュー", "余白の設定", "", ""]],
               "the memo found by Enter")


def test_tab_moves_on_at_once(book):
    run = book.start()
    w = open_window(run, "ヘルプ表示／修正")
    type_into(h.find(w, "combo box", "ｷｰﾜｰﾄﾞ"), "印")
    h.wait_for(lambda: picks(run), "the picks")
    h.key("Tab")
    h.wait_for(lambda: run.focused() is not None and run.focused().name == "検索キー１", "search key 1 focused")
    assert picks(run) is None
