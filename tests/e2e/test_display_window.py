"""The display window's roads: finding memos, sorting them, keeping them on pages, handing one to
the entry window, opening its file, the full-text search, printing and the CSV list."""
import csv
import os

import pytest

import harness as h
from harness import DISPLAY, ENTRY
from sample_book import GRID_HEADERS, MEMOS, fill_book, grid_row, page_of

ALL = [1, 2, 3, 4, 5]


def open_display(book, ids=ALL):
    """The program started on the book and its display window opened, listing the memos of those
    IDs: the program, the window and its grid."""
    run = book.start()
    window = h.open_window(run, DISPLAY)
    table = h.find(window, "table")
    h.wait_ids(table, ids)
    return run, window, table


def choose_row(table, row):
    """Clicks a row of the grid on its keyword, clear of the narrow ID and date cells."""
    h.click(h.table_cell(table, row, 2))


@pytest.fixture
def book(folder):
    fill_book(folder)
    return folder


def test_first_opening_lists_every_memo_with_empty_search_fields(book):
    run, w, table = open_display(book)
    h.wait_for(lambda: h.table_rows(table) == [grid_row(i + 1, m) for i, m in enumerate(MEMOS)], "every memo listed")
    assert h.table_headers(table) == GRID_HEADERS
    assert [h.text(h.find(w, "combo box", name)) for name in ("ｷｰﾜｰﾄﾞ", "検索キー１", "検索キー２")] == ["", "", ""]
    assert h.front_page(w) == "ページ 0"
    assert h.display_page(w) == page_of(MEMOS[0])


@pytest.mark.parametrize("keyword, key1, key2, found", [
    ("印刷", "", "", [1, 2, 5]),
    ("", "余白", "", [2]),
    ("", "", "横向き", [1]),
    ("", "用紙", "横向き", [1]),
    ("印刷", "", "狭く", [2]),
    ("印刷", "名前", "", []),
])
def test_search_by_keyword_and_keys(book, keyword, key1, key2, found):
    run, w, table = open_display(book)
    h.display_search(w, keyword, key1, key2)
    h.wait_ids(table, found, "the memos found")
    # The first memo found is on the page; with none found the page is empty.
    expected = page_of(MEMOS[found[0] - 1]) if found else {"日付": "", "ｷｰﾜｰﾄﾞ": "", "メモ": "", "保存": False}
    h.wait_for(lambda: h.display_page(w) == expected, "the page showing %r" % expected)


def test_keyword_picked_from_the_drop_down_list(book):
    run, w, table = open_display(book)
    combo = h.field(w, "ｷｰﾜｰﾄﾞ")
    box = h.find(combo, "text")
    h.wait_for(lambda: h.has_state(box, "focused"), "the focus in the keyword box")
    # The arrow opens the list; in it a first letter goes to the entry that begins with it, which
    # Enter takes. (Enter in the box itself would search for the letter alone.)
    h.click(combo, dx=h.extents(combo)[2] - 6)
    # The list takes the focus from the box: the letter goes there.
    h.wait_for(lambda: not h.has_state(box, "focused"), "the drop-down list to take the focus")
    h.type_text("保")
    h.key("Return")
    h.wait_for(lambda: h.text(combo) == "保存", "the keyword picked")
    h.click(h.find(w, "push button", "検索開始"))
    h.wait_ids(table, [3], "the memo of the picked keyword")


def test_show_all_after_a_search(book):
    run, w, table = open_display(book)
    h.display_search(w, keyword="保存")
    h.wait_ids(table, [3])
    h.click(h.find(w, "push button", "全データ表示"))
    h.wait_for(lambda: sorted(h.table_ids(table)) == ALL, "every memo listed again")
    # The search no longer holds: a sort covers every memo.
    h.click_header(table, "日付")
    h.wait_ids(table, [2, 3, 1, 4, 5], "every memo by date")


@pytest.mark.parametrize("keyword, header, order", [
    (None, "日付", [2, 3, 1, 4, 5]),
    (None, "検索キー２", [5, 3, 1, 4, 2]),
    ("印刷", "検索キー１", [2, 1, 5]),
    ("印刷", "検索キー２", [5, 1, 2]),
])
def test_header_click_sorts(book, keyword, header, order):
    run, w, table = open_display(book)
    if keyword:
        h.display_search(w, keyword=keyword)
        h.wait_ids(table, sorted(order))
    h.click_header(table, header)
    h.wait_ids(table, order, "the memos sorted by %s" % header)
    h.wait_for(lambda: h.display_page(w) == page_of(MEMOS[order[0] - 1]), "the first memo in the new order on the page")


def test_a_page_keeps_its_memo_while_the_others_follow(book):
    run, w, table = open_display(book)
    h.click(h.find(w, "page tab", "ページ 2"))
    h.wait_for(lambda: h.front_page(w) == "ページ 2", "page 2 in front")
    assert h.display_page(w) == page_of(MEMOS[0])
    keep = h.find(w, "check box", "保存")
    h.click(keep)
    h.wait_for(lambda: h.has_state(keep, "checked"), "page 2 keeping its memo")
    # Its tab says so, and which memo it keeps.
    h.find(w, "page tab", "ページ 2（保存中：ID 1 %s）" % MEMOS[0]["keyword"])

    choose_row(table, 2)
    h.click(h.find(w, "page tab", "ページ 0"))
    h.wait_for(lambda: h.display_page(w) == page_of(MEMOS[2]), "page 0 showing memo 3")
    h.click(h.find(w, "page tab", "ページ 2（保存中：ID 1 %s）" % MEMOS[0]["keyword"]))
    h.wait_for(lambda: h.front_page(w).startswith("ページ 2"), "page 2 in front again")
    assert h.display_page(w) == page_of(MEMOS[0], kept=True)

    h.click(h.find(w, "check box", "保存"))
    choose_row(table, 1)
    h.wait_for(lambda: h.display_page(w) == page_of(MEMOS[1]), "page 2 following the current memo again")


@pytest.mark.parametrize("row", [1, 3], ids=["whole-row", "row-cut-by-the-grid-edge"])
def test_the_row_chosen_is_highlighted_and_current(book, row):
    run, w, table = open_display(book)
    choose_row(table, row)
    h.wait_for(lambda: h.display_page(w) == page_of(MEMOS[row]), "the memo chosen on the page")
    selected = [r for r in range(h.table_row_count(table)) if h.has_state(h.table_cell(table, r, 2), "selected")]
    assert selected == [row]


def entry_fields(window):
    return {name: h.text(h.find(window, role, name)) for role, name in (
        ("combo box", "ｷｰﾜｰﾄﾞ"), ("combo box", "検索キー１"), ("combo box", "検索キー２"), ("text", "メモ"))}


def fields_of(memo):
    return {"ｷｰﾜｰﾄﾞ": memo["keyword"], "検索キー１": memo["key1"], "検索キー２": memo["key2"], "メモ": memo["memo"]}


@pytest.mark.parametrize("entry_open", [False, True], ids=["entry-closed", "entry-open"])
def test_correction_shows_the_chosen_memo_in_the_entry_window(book, entry_open):
    run, w, table = open_display(book)
    if entry_open:
        entry = h.open_window(run, ENTRY)
        h.wait_for(lambda: entry_fields(entry) == fields_of(MEMOS[0]), "the entry window on the first memo")
        h.activate(w)
    choose_row(table, 2)
    h.wait_for(lambda: h.display_page(w) == page_of(MEMOS[2]), "memo 3 current")
    h.click(h.find(w, "push button", "ヘルプ修正"))
    entry = run.window(ENTRY)  # in front, whether it was open or not
    h.wait_for(lambda: entry_fields(entry) == fields_of(MEMOS[2]), "the entry window on memo 3")
    assert book.memos() == [(i + 1, m["date"], m["keyword"], m["key1"], m["key2"], m.get("app"), m["memo"],
                             m.get("file")) for i, m in enumerate(MEMOS)]


def test_a_correction_saved_shows_on_coming_back(book):
    run, w, table = open_display(book)
    h.display_search(w, keyword="印刷")
    h.wait_ids(table, [1, 2, 5])
    choose_row(table, 1)
    h.click(h.find(w, "push button", "ヘルプ修正"))
    entry = run.window(ENTRY)
    key1 = h.find(entry, "combo box", "検索キー１")
    h.wait_for(lambda: h.text(key1) == "余白", "the entry window on memo 2")
    h.type_over(key1, "余白の設定")
    h.click(h.find(entry, "push button", "保存"))
    h.wait_for(lambda: book.memo(2)["検索キー１"] == "余白の設定", "the correction stored")
    h.activate(w)
    # Under the same search, with the stored value.
    h.wait_for(lambda: h.table_rows(table) == [grid_row(1, MEMOS[0]), grid_row(2, dict(MEMOS[1], key1="余白の設定")),
                                               grid_row(5, MEMOS[4])], "the grid showing the correction")


def test_file_display_opens_the_viewer_at_the_keyword(folder, tmp_path):
    filler = "<p>操作の説明。</p>" * 60
    guide = tmp_path / "印刷の手引き.html"
    guide.write_text("<html><body><h1>はじめに</h1>%s<h2>余白</h2><p>余白の話。</p>%s"
                     "<h2>印刷</h2><p>印刷の話。</p>%s</body></html>" % (filler, filler, filler), encoding="utf-8")
    folder.add_memo(date="2026/12/01", keyword="保存", memo="別のメモ")
    folder.add_memo(date="2026/12/02", keyword="印刷", key1="手引き", memo="手引きを読む", file=str(guide))
    run, w, table = open_display(folder, [1, 2])
    choose_row(table, 1)
    h.wait_for(lambda: h.display_page(w)["ｷｰﾜｰﾄﾞ"] == "印刷", "the memo with the file current")
    h.click(h.find(w, "push button", "ファイル表示"))
    viewer = h.help_viewer(run, guide.name)
    h.wait_equal(lambda: h.chosen_topics(viewer), ["印刷"], "the topics chosen")
    page_text = h.wait_for(lambda: next((n for n in h.walk(viewer) if "印刷の話。" in h.text(n)
                                         and h.role(n) not in ("filler", "split pane", "frame", "layered pane")), None), "the page")
    text = h.text(page_text)
    h.wait_for(lambda: page_text.queryText().caretOffset == text.index("印刷\n印刷の話。"), "the page at the topic")


@pytest.mark.parametrize("words, found", [
    ("横向き", [1]),
    ("印刷 余白", [2]),
    ("置換する", [4]),
    ("ﾜｰﾌﾟﾛ", [3]),
    ("手引き", [5]),
    ("印刷 名前", []),
])
def test_full_text_search(book, words, found):
    run, w, table = open_display(book)
    h.key("ctrl+f")
    box = run.window("全文検索")
    field = h.find(box, "text")
    h.wait_for(lambda: h.has_state(field, "focused"), "the words box focused")
    h.type_text(words)
    h.key("Return")
    h.wait_ids(table, found, "the memos holding %r" % words)
    said = "%d 件見つかりました。" % len(found) if found else "見つかりませんでした。"
    # Said as a status, which a screen reader picks up when it changes.
    h.wait_for(lambda: any(n.name == said for n in h.find_all(box, "status bar")), "the box to say %r" % said)


def test_full_text_search_of_blanks_only_runs_nothing(book):
    run, w, table = open_display(book)
    h.display_search(w, keyword="印刷")
    h.wait_ids(table, [1, 2, 5], "the search in force")
    h.key("ctrl+f")
    box = run.window("全文検索")
    h.click_into(h.find(box, "text"))
    h.type_text("　 　")
    # Esc after Enter closes the box once Enter has been handled.
    h.key("Return", "Escape")
    run.wait_window_gone("全文検索")
    # Blanks are no words: the search in force and its grid stay, and the box said nothing.
    assert h.table_ids(table) == [1, 2, 5]
    assert book.integrity() == "ok" and len(book.memos()) == len(ALL)


def test_this_memo_cannot_be_printed_when_no_memo_is_shown(book):
    run, w, table = open_display(book)
    h.display_search(w, keyword="どこにもない")
    h.wait_ids(table, [], "nothing found")
    h.activate(w)
    # Ctrl+P prints nothing; Ctrl+F, pressed after it, reaches the window, not a print preview.
    h.key("ctrl+p", "ctrl+f")
    box = run.window("全文検索")
    assert h.role(box) == "dialog"
    assert not any(h.role(x) == "dialog" and x.name != "全文検索" for x in run.windows())
    # With a memo on the page the same keys print it.
    h.activate(w)
    h.display_search(w, keyword="検索")
    h.wait_ids(table, [4])
    h.key("ctrl+p")
    preview = run.window("検索")
    h.key("Escape")
    run.wait_window_gone(preview.name)


def test_context_menu_prints_the_memo_in_a_preview(book):
    run, w, table = open_display(book)
    h.open_context_menu(table, 2)
    # Its item keys choose in the menu.
    h.wait_for(lambda: h.display_page(w) == page_of(MEMOS[2]), "memo 3 chosen by the right click")
    h.key("p")
    preview = run.window("保存")
    assert h.role(preview) == "dialog"
    h.find(preview, "push button", "印刷")
    h.key("Escape")
    run.wait_window_gone("保存")
    assert run.alive()


@pytest.mark.parametrize("access_key", ["d", "t"], ids=["this-memo", "the-list"])
def test_context_menu_saves_a_pdf_by_its_access_key(book, tmp_path, access_key):
    run, w, table = open_display(book)
    h.open_context_menu(table, 2)
    h.key(access_key)
    target = str(tmp_path / "保存した.pdf")
    h.fill_file_dialog(run, "PDFに保存", target)
    assert run.answer("OK") == "「保存した.pdf」に保存しました。\n" + target
    with open(target, "rb") as f:
        assert f.read(5) == b"%PDF-"


def test_context_menu_writes_the_memos_found_as_csv(book, tmp_path):
    run, w, table = open_display(book)
    h.display_search(w, keyword="印刷")
    h.wait_ids(table, [1, 2, 5])
    h.open_context_menu(table, 0)
    h.key("e")
    target = str(tmp_path / "印刷のメモ一覧.csv")
    h.fill_file_dialog(run, "CSVに書き出す", target)
    # Where the file went is said.
    assert run.answer("OK") == "「印刷のメモ一覧.csv」に保存しました。\n" + target
    assert os.path.exists(target)
    with open(target, encoding="utf-8-sig", newline="") as f:
        rows = list(csv.DictReader(f))
    assert [row["ID"] for row in rows] == ["1", "2", "5"]
    # The columns are named as the windows name them.
    fields = ("日付", "ｷｰﾜｰﾄﾞ", "検索キー１", "検索キー２", "メモ")
    for row in rows:
        stored = book.memo(int(row["ID"]))
        assert {k: row[k] for k in fields} == {k: stored[k] or "" for k in fields}
        assert row["アプリＩＤ"] == (stored["予備１"] or "")
