"""The entry window (ヘルプ登録): writing a memo, its date, its file and application, the command row, and
what a move or the closing of the window stores."""
import datetime

import pytest

import harness as h
from harness import ENTRY, MAIN

FILE_DIALOG = "ヘルプファイルを登録して下さい"


def today():
    return datetime.date.today()


def button(window, caption):
    return h.find(window, "push button", caption)


def memo_row(memo_id, date=None, keyword=None, key1=None, key2=None, app=None, memo=None, file=None):
    return {"ID": memo_id, "日付": date, "ｷｰﾜｰﾄﾞ": keyword, "検索キー１": key1, "検索キー２": key2, "予備１": app,
            "メモ": memo, "ヘルプファイル": file}


def stored(folder, memo_id, field, value):
    h.wait_equal(lambda: (folder.memo(memo_id) or {}).get(field), value, "the stored %s of memo %d" % (field, memo_id))


KEYWORDS = ["一", "二", "三", "四", "五"]


@pytest.fixture
def five(folder):
    for i, keyword in enumerate(KEYWORDS):
        folder.add_memo(date="2026/11/%02d" % (i + 1), keyword=keyword, memo="%sのメモ" % keyword)
    return folder


def test_an_empty_book_opens_on_a_new_memo_of_today(folder):
    run = folder.start()
    w = h.open_window(run, ENTRY)
    h.wait_shown(w, "日付", h.long_date(today()))
    h.wait_focus(run, "メモ")
    assert folder.memos() == [(1, h.short_date(today()), None, None, None, None, None, None)]
    assert run.no_message()


def test_a_memo_written_by_typing_is_stored_as_typed(folder):
    run = folder.start()
    w = h.open_window(run, ENTRY)
    h.wait_shown(w, "日付", h.long_date(today()))
    typed = {"ｷｰﾜｰﾄﾞ": "印刷の余白", "検索キー１": "余白", "検索キー２": "ページ設定", "アプリＩＤ": "WORD"}
    for name, text in typed.items():
        h.type_over(h.field(w, name), text)
    memo = h.field(w, "メモ")
    h.click_into(memo)
    h.type_text("ファイル→ページ設定")
    h.key("Return")
    h.type_text("上下を１０ｍｍに")
    h.wait_for(lambda: h.text(memo) == "ファイル→ページ設定\n上下を１０ｍｍに", "the memo typed")
    h.click(button(w, "保存"))
    h.wait_for(lambda: folder.memo(1)["メモ"] is not None, "the memo saved")
    assert folder.memo(1) == memo_row(1, date=h.short_date(today()), keyword="印刷の余白", key1="余白",
                                      key2="ページ設定", app="WORD", memo="ファイル→ページ設定\r\n上下を１０ｍｍに")
    assert len(folder.memos()) == 1
    assert run.no_message()


@pytest.mark.parametrize("how, store", [("typed", "保存"), ("clicked", "保存"), ("clicked", "memo-box"),
                                        ("keys", "memo-box")],
                         ids=["typed-save", "clicked-save", "clicked-memo-box", "keys-memo-box"])
def test_a_keyword_typed_or_picked_from_the_list_is_stored(folder, how, store):
    for keyword in ("印刷", "保存", "余白"):
        folder.add_memo(date="2026/12/01", keyword=keyword)
    run = folder.start()
    w = h.open_window(run, ENTRY)
    keyword = h.field(w, "ｷｰﾜｰﾄﾞ")
    h.wait_shown(w, "ｷｰﾜｰﾄﾞ", "印刷")
    if how == "typed":
        entry = "ページ設定"
        h.type_over(keyword, entry)
    elif how == "clicked":
        entry = "余白"
        assert sorted(h.pick_by_click(run, keyword, entry)) == sorted(["印刷", "保存", "余白"])
    else:
        entry = "余白"
        h.pick_by_keys(keyword, entry)
    if store == "保存":
        h.click(button(w, "保存"))
    else:
        # Entering the memo box stores what the other fields hold.
        h.click(h.field(w, "メモ"))
    stored(folder, 1, "ｷｰﾜｰﾄﾞ", entry)
    assert [folder.memo(i)["ｷｰﾜｰﾄﾞ"] for i in (2, 3)] == ["保存", "余白"]
    assert h.text(keyword) == entry
    assert run.no_message()


@pytest.mark.parametrize("enter, then", [(True, "保存"), (True, "次"), (False, "保存"), (False, "次")],
                         ids=["enter-save", "enter-next", "no-enter-save", "no-enter-next"])
def test_a_typed_date_counts_only_with_enter(folder, enter, then):
    folder.add_memo(date="2026/11/01", keyword="一")
    folder.add_memo(date="2026/11/02", keyword="二")
    run = folder.start()
    w = h.open_window(run, ENTRY)
    h.wait_shown(w, "日付", "2026年11月1日")
    h.type_over(h.field(w, "日付"), "2025/03/14")
    if enter:
        h.key("Return")
        h.wait_shown(w, "日付", "2025年3月14日")
        h.wait_focus(run, "ｷｰﾜｰﾄﾞ")
    h.click(button(w, then))
    if then == "次":
        h.wait_shown(w, "ｷｰﾜｰﾄﾞ", "二")
        h.wait_shown(w, "日付", "2026年11月2日")
    expected = "2025/03/14" if enter else "2026/11/01"
    stored(folder, 1, "日付", expected)
    # Back on the first memo, the date box shows what is stored.
    h.click(button(w, "先頭"))
    h.wait_shown(w, "ｷｰﾜｰﾄﾞ", "一")
    h.wait_shown(w, "日付", h.long_date(expected))
    assert folder.memo(1)["日付"] == expected
    assert folder.memo(2)["日付"] == "2026/11/02"


@pytest.mark.parametrize("action", ["choose", "cancel-button", "Escape"])
def test_the_file_dialog_fills_the_file_field(folder, tmp_path, action):
    document = tmp_path / "資料 フォルダ" / "印刷の手順.doc"
    document.parent.mkdir()
    document.write_text("手順", encoding="utf-8")
    folder.add_memo(date="2026/12/01", keyword="印刷", file="/old/手順.html")
    run = folder.start()
    w = h.open_window(run, ENTRY)
    h.wait_shown(w, "表示ﾌｧｲﾙ", "/old/手順.html")
    h.click(button(w, "設定"))
    dialog = run.window(FILE_DIALOG)
    assert h.text(h.find(dialog, "text", "ファイル名(N):")) == "Name"
    if action == "choose":
        kinds = h.find(dialog, "combo box", "全ファイル(*.*)")
        assert h.drop_down(run, kinds)[1] == ["全ファイル(*.*)", "(*.DOC)", "(*.XLS)", "(*.MDB)", "(*.HLP)"]
        h.key("Escape")
        h.wait_for(lambda: run.has_window(FILE_DIALOG) and not h.find_all(kinds, "list"), "the list closed")
        h.choose_file(run, FILE_DIALOG, str(document), ENTRY)
        h.wait_shown(w, "表示ﾌｧｲﾙ", str(document))
        h.click(button(w, "保存"))
        stored(folder, 1, "ヘルプファイル", str(document))
    else:
        h.cancel_file_dialog(run, FILE_DIALOG, ENTRY, how="Escape" if action == "Escape" else "button")
        h.wait_shown(w, "表示ﾌｧｲﾙ", "/old/手順.html")
        h.click(button(w, "保存"))
        h.click(button(w, "最後"))
        assert folder.memo(1)["ヘルプファイル"] == "/old/手順.html"
    assert run.no_message()


@pytest.mark.parametrize("how", ["clicked", "keys", "none"])
def test_a_registered_application_id_is_copied_into_the_memo(folder, how):
    folder.add_application("WORD", "/opt/word/word")
    folder.add_application("EXCEL", "/opt/excel/excel")
    folder.add_memo(date="2026/12/01", keyword="印刷", app="OLD")
    run = folder.start()
    w = h.open_window(run, ENTRY)
    h.wait_shown(w, "アプリＩＤ", "OLD")
    registered = h.field(w, "登録済みのアプリＩＤ")
    if how == "clicked":
        assert sorted(h.pick_by_click(run, registered, "EXCEL")) == ["EXCEL", "WORD"]
    elif how == "keys":
        h.pick_by_keys(registered, "EXCEL")
    expected = "" if how == "none" else "EXCEL"
    h.click(button(w, "アプリケーション登録"))
    h.wait_shown(w, "アプリＩＤ", expected)
    h.click(button(w, "保存"))
    h.wait_equal(lambda: folder.memo(1)["予備１"] or "", expected, "the stored application ID")
    assert run.no_message()


def test_add_starts_a_memo_of_today_and_stores_the_typing_first(folder):
    folder.add_memo(date="2020/01/01", keyword="古いメモ")
    run = folder.start()
    w = h.open_window(run, ENTRY)
    h.wait_shown(w, "ｷｰﾜｰﾄﾞ", "古いメモ")
    h.type_over(h.field(w, "ｷｰﾜｰﾄﾞ"), "書きかけ")
    h.click(button(w, "追加"))
    h.wait_for(lambda: len(folder.memos()) == 2, "the new memo")
    h.wait_shown(w, "日付", h.long_date(today()))
    h.wait_shown(w, "ｷｰﾜｰﾄﾞ", "")
    h.wait_focus(run, "メモ")
    assert folder.memo(2) == memo_row(2, date=h.short_date(today()))
    assert folder.memo(1)["ｷｰﾜｰﾄﾞ"] == "書きかけ"
    h.type_text("新しいメモの本文")
    h.click(button(w, "保存"))
    stored(folder, 2, "メモ", "新しいメモの本文")
    assert folder.memo(1)["メモ"] is None


@pytest.mark.parametrize("moves, answer, remaining, now_shown", [
    (["次"], "はい", [1, 3], "三"),
    (["次"], "いいえ", [1, 2, 3], "二"),
    (["最後"], "はい", [1, 2], "二"),
], ids=["yes", "no", "yes-on-the-last"])
def test_delete_asks_first(folder, moves, answer, remaining, now_shown):
    for keyword in ("一", "二", "三"):
        folder.add_memo(date="2026/12/01", keyword=keyword)
    run = folder.start()
    w = h.open_window(run, ENTRY)
    h.wait_shown(w, "ｷｰﾜｰﾄﾞ", "一")
    for move in moves:
        h.click(button(w, move))
    h.wait_shown(w, "ｷｰﾜｰﾄﾞ", "二" if moves == ["次"] else "三")
    h.click(button(w, "削除"))
    box_node, text = run.message()
    assert text == "データを削除しますか？"
    assert box_node.name == "選択表示"
    run.answer(answer)
    h.wait_shown(w, "ｷｰﾜｰﾄﾞ", now_shown)
    h.wait_equal(lambda: [m[0] for m in folder.memos()], remaining, "the IDs of the memos left")
    assert run.no_message()


@pytest.mark.parametrize("start, command, target", [
    (2, "先頭", 0), (2, "前", 1), (2, "次", 3), (2, "最後", 4), (0, "前", 0), (4, "次", 4),
], ids=["first", "previous", "next", "last", "previous-on-the-first", "next-on-the-last"])
def test_a_move_shows_the_memo_and_stores_the_typing(five, start, command, target):
    run = five.start()
    w = h.open_window(run, ENTRY)
    h.wait_shown(w, "ｷｰﾜｰﾄﾞ", KEYWORDS[0])
    for _ in range(start):
        h.click(button(w, "次"))
    h.wait_shown(w, "ｷｰﾜｰﾄﾞ", KEYWORDS[start])
    h.wait_shown(w, "メモ", KEYWORDS[start] + "のメモ")
    h.type_over(h.field(w, "ｷｰﾜｰﾄﾞ"), "書き換え")
    h.click(button(w, command))
    h.wait_shown(w, "ｷｰﾜｰﾄﾞ", "書き換え" if target == start else KEYWORDS[target])
    h.wait_shown(w, "メモ", KEYWORDS[target] + "のメモ")
    stored(five, start + 1, "ｷｰﾜｰﾄﾞ", "書き換え")
    assert [m[2] for m in five.memos()] == [("書き換え" if i == start else k) for i, k in enumerate(KEYWORDS)]
    assert run.no_message()


@pytest.mark.parametrize("how", ["終了", "alt+F4"], ids=["exit-button", "window-close"])
def test_closing_stores_the_typing(folder, how):
    folder.add_memo(date="2026/12/01", keyword="印刷", memo="前の本文")
    run = folder.start()
    w = h.open_window(run, ENTRY)
    h.wait_shown(w, "メモ", "前の本文")
    h.type_over(h.field(w, "検索キー２"), "閉じる前")
    memo = h.field(w, "メモ")
    h.click_into(memo)
    h.key("ctrl+End")
    h.type_text("、追記")
    h.wait_for(lambda: h.text(memo) == "前の本文、追記", "the typing in the memo box")
    if how == "終了":
        h.click(button(w, "終了"))
    else:
        h.key(how)
    run.wait_window_gone(ENTRY)
    stored(folder, 1, "メモ", "前の本文、追記")
    assert folder.memo(1)["検索キー２"] == "閉じる前"
    assert run.alive() and run.has_window(MAIN)
