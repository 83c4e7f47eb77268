"""Each window read as a screen reader reads it: a window is announced with its role and title,
every control by a name of its own, and every field's value reads as what the memo book holds."""
import pytest

import harness as h
from harness import APPS, DISPLAY, ENTRY, MAIN, VERSION
from sample_book import GRID_HEADERS, MEMOS, fill_book, grid_row

NAMED_ROLES = ("text", "combo box", "check box", "push button", "table", "page tab", "list", "table column header")
# Controls whose value is their caption, or is read from their cells or items.
CAPTIONED = ("check box", "push button", "page tab", "table column header", "table", "list")


def open_version(run):
    h.key("alt+a")
    return run.window(VERSION)


def open_full_text_box(run):
    h.open_window(run, DISPLAY)
    h.key("ctrl+f")
    return run.window("全文検索")


def open_viewer(run):
    # The product help at the main window's topic, in the viewer that also shows the memos' files.
    h.key("F1")
    return h.help_viewer(run)


OPENERS = {
    "main": (lambda run: run.window(MAIN), MAIN, ("frame",)),
    "entry": (lambda run: h.open_window(run, ENTRY), ENTRY, ("frame",)),
    "display": (lambda run: h.open_window(run, DISPLAY), DISPLAY, ("frame",)),
    "applications": (lambda run: h.open_window(run, APPS), APPS, ("frame",)),
    "version": (open_version, VERSION, ("frame", "dialog")),
    "full-text search": (open_full_text_box, "全文検索", ("frame", "dialog")),
    "help viewer": (open_viewer, None, ("frame", "dialog")),
}


@pytest.fixture
def book(folder):
    fill_book(folder)
    folder.add_application("ワープロ", "/usr/bin/libreoffice")
    return folder


def opened(book, which):
    """The window of that kind, opened in the program started on the book."""
    return OPENERS[which][0](book.start())


@pytest.mark.parametrize("which", list(OPENERS))
def test_window_announced_with_its_role_and_title(book, which):
    _, title, roles = OPENERS[which]
    window = opened(book, which)
    assert h.role(window) in roles
    if title:
        assert window.name == title
    assert h.has_state(window, "active")


def unnamed(window):
    """The controls a screen reader would announce without a name, or by their value only."""
    faults = []
    for node in h.walk(window):
        role = h.role(node)
        if role not in NAMED_ROLES:
            continue
        value = h.text(node) if role not in CAPTIONED else None
        if not node.name.strip() or (value and node.name == value):
            faults.append("%s %r (value %r)" % (role, node.name, value))
    return faults


@pytest.mark.parametrize("which", list(OPENERS))
def test_every_control_has_a_name_of_its_own(book, which):
    window = opened(book, which)
    if which == "display":
        # Search fields with values, so that a field named by its value shows.
        h.display_search(window, keyword="印刷")
        h.wait_ids(h.find(window, "table"), [1, 2, 5])
    h.find(window, "push button")  # the window's controls are there
    assert unnamed(window) == []


def values(window, fields):
    """For each (role, name), the values read from the controls of that role and name (a combo box's
    own text box aside)."""
    read = {}
    for role, name in fields:
        nodes = [n for n in h.find_all(window, role, name) if h.role(n.parent) != "combo box"]
        read[(role, name)] = [h.text(n) for n in nodes]
    return read


def test_entry_window_reads_every_field_of_the_memo(book):
    # The third memo first, so that its ID is not the first.
    book.sql("DELETE FROM メモ帳 WHERE ID < 3")
    book.sql("UPDATE メモ帳 SET ヘルプファイル = ? WHERE ID = 3", ("/文書/保存の手引き.html",))
    memo = MEMOS[2]
    run = book.start()
    w = h.open_window(run, ENTRY)
    expected = {
        # A value label is read with its caption and its value.
        ("label", "ID 3"): "ID 3",
        ("text", "日付"): h.long_date(memo["date"]),
        ("text", "表示ﾌｧｲﾙ"): "/文書/保存の手引き.html",
        ("combo box", "ｷｰﾜｰﾄﾞ"): memo["keyword"],
        ("combo box", "検索キー１"): memo["key1"],
        ("combo box", "検索キー２"): memo["key2"],
        ("combo box", "アプリＩＤ"): memo["app"],
        ("text", "メモ"): memo["memo"],
    }
    h.wait_for(lambda: h.text(h.find(w, "text", "メモ")) == memo["memo"], "the memo shown")
    read = values(w, expected)
    # Every field is read by its name with the stored value (the ID's caption is a label too).
    assert {k: v for k, v in expected.items() if v not in read[k]} == {}, read


def test_display_window_reads_search_fields_grid_and_page(book):
    run = book.start()
    w = h.open_window(run, DISPLAY)
    table = h.find(w, "table")
    h.wait_ids(table, [1, 2, 3, 4, 5])
    h.display_search(w, keyword="印刷", key2="狭く")
    h.wait_ids(table, [2])
    memo = MEMOS[1]
    assert values(w, [("combo box", "ｷｰﾜｰﾄﾞ"), ("combo box", "検索キー１"), ("combo box", "検索キー２"),
                      ("text", "日付（ページ 0）"), ("text", "ｷｰﾜｰﾄﾞ（ページ 0）"), ("text", "メモ（ページ 0）")]) == {
        ("combo box", "ｷｰﾜｰﾄﾞ"): ["印刷"], ("combo box", "検索キー１"): [""], ("combo box", "検索キー２"): ["狭く"],
        ("text", "日付（ページ 0）"): [h.long_date(memo["date"])], ("text", "ｷｰﾜｰﾄﾞ（ページ 0）"): [memo["keyword"]],
        ("text", "メモ（ページ 0）"): [memo["memo"]]}
    assert table.name == "検索結果"
    assert h.table_headers(table) == GRID_HEADERS
    assert h.table_rows(table) == [grid_row(2, memo)]
    keep = h.find(w, "check box", "保存")
    assert not h.has_state(keep, "checked")
    tabs = h.find_all(w, "page tab")
    assert [t.name for t in tabs] == ["ページ %d" % i for i in range(6)]
    assert [h.has_state(t, "selected") for t in tabs] == [True] + [False] * 5
    # The grid's row header reads as the current row, not as a symbol.
    assert table.queryTable().getRowHeader(0).name == "現在の行"


def test_application_window_reads_path_id_and_grid(book):
    book.add_application("表計算", "/usr/bin/gnumeric")
    run = book.start()
    w = h.open_window(run, APPS)
    table = h.find(w, "table")
    assert table.name
    assert h.table_headers(table) == ["ID", "アプリＩＤ", "パス"]
    registered = [["1", "ワープロ", "/usr/bin/libreoffice"], ["2", "表計算", "/usr/bin/gnumeric"]]
    h.wait_for(lambda: h.table_rows(table) == registered, "the registered applications")
    assert values(w, [("combo box", "アプリケーションのパス"), ("combo box", "アプリＩＤ")]) == {
        ("combo box", "アプリケーションのパス"): ["/usr/bin/libreoffice"], ("combo box", "アプリＩＤ"): ["ワープロ"]}


def test_version_window_reads_the_version(book):
    w = open_version(book.start())
    texts = [h.text(n) for n in h.find_all(w, "label")]
    assert "オルバレント　Ｖｅｒｓｉｏｎ　２．０１" in texts
    assert h.find(w, "push button", "OK")


def delete_question(run, tmp_path):
    w = h.open_window(run, ENTRY)
    h.click(h.find(w, "push button", "削除"))


def export_failure(run, tmp_path):
    table = h.find(h.open_window(run, DISPLAY), "table")
    h.wait_ids(table, [1, 2, 3, 4, 5])
    h.open_context_menu(table, 0)
    h.key("e")
    h.fill_file_dialog(run, "CSVに書き出す", str(tmp_path / "無いフォルダー" / "一覧.csv"))


@pytest.mark.parametrize("cause, title, lines, buttons", [
    (delete_question, "選択表示", ["データを削除しますか？"], ["はい", "いいえ"]),
    (export_failure, "オルバレント", ["ファイルに書き出せませんでした。", "保存先の空き容量と書き込みの権限を確かめて下さい。"],
     ["OK"]),
], ids=["delete-question", "export-failure"])
def test_message_box_read_with_its_text(book, tmp_path, cause, title, lines, buttons):
    run = book.start()
    cause(run, tmp_path)
    box, text = run.message()
    assert h.role(box) in ("alert", "dialog")
    assert box.name == title
    assert all(line in text for line in lines), text
    assert [b.name.split("(")[0] for b in h.find_all(box, "push button")] == buttons
    # Once the window manager has placed it, where the click goes.
    h.wait_for(lambda: h.has_state(box, "active"), "the message box to be active")
    run.answer(buttons[-1])
    assert len(book.memos()) == len(MEMOS)


@pytest.mark.parametrize("which", ["entry", "display", "applications"])
def test_controls_never_shown_are_not_offered(book, which):
    window = opened(book, which)
    h.find(window, "push button")
    # What is not showing is only what lies on the result pages behind the one in front.
    unseen = [h.describe(n) for n in h.walk(window, only_showing=False)
              if h.role(n) in ("text", "label", "combo box") and not h.showing(n) and "（ページ " not in n.name]
    assert unseen == []
