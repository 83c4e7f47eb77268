"""The memo book shared with others: a second running copy that saves the memo being typed over, and
another program holding the memo book locked, for less and for more than the program waits."""
import subprocess

import pytest

import harness as h
from harness import DISPLAY, ENTRY

CONFLICT_CHANGED = "このメモは、表示した後に、ほかに起動しているオルバレントで変更されました。"
CONFLICT_DELETED = "このメモは、表示した後に、ほかに起動しているオルバレントで削除されました。"
STORE_MINE = "入力した内容で上書きする"
SHOW_THEIRS = "相手の内容を表示（入力は破棄）"
COPY_MINE = "入力をコピーして相手の内容を表示"
IN_USE = "メモ帳（IDATA2.mdb）をほかのプログラムが使用中です。\nそのため、今の操作は出来ませんでした。"
NOT_STORED = "入力した内容を保存出来ませんでした。"


def clipboard():
    done = subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True, timeout=10)
    return done.stdout.decode("utf-8", "replace") if done.returncode == 0 else ""


def two_copies(book):
    """Two copies on one memo book, side by side: the second one's windows dragged to the right,
    since both open theirs in the same places."""
    a = book.start(name="first-copy")
    wa = h.open_window(a, ENTRY)
    b = book.start(name="second-copy")
    h.drag_window(b.main_window(), 0, 300)
    wb = h.open_window(b, ENTRY)
    h.drag_window(wb, 600, 0)
    for window in (wa, wb):
        h.wait_shown(window, "メモ", "最初のメモ")
    return a, wa, b, wb


def asked(run, window, caption):
    """Clicks the window's button of that caption; the text of the question that it brings up."""
    h.click(h.find(window, "push button", caption))
    return run.message()[1]


@pytest.fixture
def book(folder):
    folder.add_memo(date="2026/12/01", keyword="印刷", memo="最初のメモ")
    folder.add_memo(date="2026/12/02", keyword="保存", memo="二件目のメモ")
    return folder


def saved_elsewhere(book, window_b, memo_text):
    """The second copy stores its own memo text over memo 1, as its user would."""
    memo = h.field(window_b, "メモ")
    h.type_over(memo, memo_text)
    h.click(h.find(window_b, "push button", "保存"))
    h.wait_for(lambda: book.memo(1)["メモ"] == memo_text, "the second copy's save")


@pytest.mark.parametrize("choice", [STORE_MINE, SHOW_THEIRS, COPY_MINE])
def test_save_over_another_copys_save_asks_whose_version(book, choice):
    a, wa, b, wb = two_copies(book)
    h.type_over(h.field(wa, "メモ"), "一つ目のコピーで書いた")
    saved_elsewhere(book, wb, "二つ目のコピーで書いた")

    assert CONFLICT_CHANGED in asked(a, wa, "保存")
    a.answer(choice)
    if choice == STORE_MINE:
        h.wait_for(lambda: book.memo(1)["メモ"] == "一つ目のコピーで書いた", "mine stored over theirs")
        assert h.text(h.field(wa, "メモ")) == "一つ目のコピーで書いた"
    else:
        h.wait_shown(wa, "メモ", "二つ目のコピーで書いた")
        assert book.memo(1)["メモ"] == "二つ目のコピーで書いた"
        if choice == COPY_MINE:
            assert clipboard() == "一つ目のコピーで書いた"
    # Saving again stores nothing unasked: what is shown is what is stored now.
    h.click(h.find(wa, "push button", "保存"))
    h.wait_for(lambda: a.no_message(), "no second question")
    assert book.memo(1)["メモ"] == ("一つ目のコピーで書いた" if choice == STORE_MINE else "二つ目のコピーで書いた")
    assert book.integrity() == "ok"


def test_a_move_and_closing_over_another_copys_change_ask_too(book):
    a, wa, b, wb = two_copies(book)
    h.type_over(h.field(wa, "ｷｰﾜｰﾄﾞ"), "一つ目の語")
    saved_elsewhere(book, wb, "二つ目のコピーで書いた")

    # A move with typing pending neither moves nor passes silently.
    assert CONFLICT_CHANGED in asked(a, wa, "次")
    a.answer(COPY_MINE)
    h.wait_shown(wa, "ｷｰﾜｰﾄﾞ", "印刷")
    assert h.text(h.field(wa, "メモ")) == "二つ目のコピーで書いた"
    assert clipboard() == "一つ目の語"

    # Closing: theirs keeps the window open; mine stores and closes.
    saved_elsewhere(book, wb, "もう一度書き直した")
    h.type_over(h.field(wa, "ｷｰﾜｰﾄﾞ"), "閉じる前の語")
    assert CONFLICT_CHANGED in asked(a, wa, "終了")
    a.answer(SHOW_THEIRS)
    h.wait_shown(wa, "メモ", "もう一度書き直した")
    assert a.has_window(ENTRY)
    h.type_over(h.field(wa, "ｷｰﾜｰﾄﾞ"), "閉じる前の語")
    saved_elsewhere(book, wb, "三度目")
    h.click(h.find(wa, "push button", "終了"))
    a.answer(STORE_MINE)
    a.wait_window_gone(ENTRY)
    assert book.memo(1)["ｷｰﾜｰﾄﾞ"] == "閉じる前の語" and book.memo(1)["メモ"] == "三度目"
    assert book.integrity() == "ok"


def test_a_memo_deleted_by_another_copy_can_be_stored_again(book):
    a, wa, b, wb = two_copies(book)
    h.type_over(h.field(wa, "メモ"), "消されても残したい")
    h.click(h.find(wb, "push button", "削除"))
    b.answer("はい")
    h.wait_for(lambda: book.memo(1) is None, "memo 1 deleted by the second copy")
    assert CONFLICT_DELETED in asked(a, wa, "保存")
    a.answer("入力した内容で保存し直す")
    h.wait_for(lambda: book.memo(1) is not None, "memo 1 stored again")
    assert book.memo(1)["メモ"] == "消されても残したい" and book.memo(1)["ｷｰﾜｰﾄﾞ"] == "印刷"
    assert book.integrity() == "ok"


def test_a_lock_shorter_than_the_wait_is_not_seen(book):
    run = book.start()
    w = h.open_window(run, ENTRY)
    h.type_over(h.field(w, "メモ"), "待ってから保存")
    lock = h.Lock(book.book, exclusive=True)
    h.click(h.find(w, "push button", "保存"))
    # The program waits; the lock goes well within its wait.
    lock.release_after(1.5)
    h.wait_for(lambda: book.memo(1)["メモ"] == "待ってから保存", "the save after the lock", timeout=20)
    assert run.no_message() and book.integrity() == "ok"


def test_a_lock_longer_than_the_wait_is_told_and_nothing_changes(book):
    run = book.start()
    w = h.open_window(run, DISPLAY)
    grid = h.find(w, "table")
    h.wait_for(lambda: h.table_row_count(grid) == 2, "all memos listed")
    with h.Lock(book.book, exclusive=True):
        # A search says the memo book is in use; the grid keeps what it showed.
        h.type_over(h.field(w, "ｷｰﾜｰﾄﾞ"), "保存")
        h.click(h.find(w, "push button", "検索開始"))
        assert IN_USE in run.answer("OK", timeout=30)
        assert h.table_row_count(grid) == 2
        # The hand-over opens no empty, dead entry window.
        h.click(h.find(w, "push button", "ヘルプ修正"))
        assert IN_USE in run.answer("OK", timeout=30)
        assert not run.has_window(ENTRY)
    # Once the lock is gone, the same clicks work.
    h.click(h.find(w, "push button", "検索開始"))
    h.wait_for(lambda: h.table_rows(grid) == [["2", "2026/12/02", "保存", "", "", ""]], "the search")
    h.click(h.find(w, "push button", "ヘルプ修正"))
    entry = run.window(ENTRY)
    h.wait_shown(entry, "ｷｰﾜｰﾄﾞ", "保存")
    assert book.integrity() == "ok" and [m[2] for m in book.memos()] == ["印刷", "保存"]


def test_entry_window_under_a_long_lock_keeps_its_memo_and_its_typing(book):
    run = book.start()
    w = h.open_window(run, ENTRY)
    memo = h.field(w, "メモ")
    h.wait_for(lambda: h.text(memo) == "最初のメモ", "memo 1")
    h.type_over(memo, "鍵の間に書いた")
    with h.Lock(book.book, exclusive=True):
        h.click(h.find(w, "push button", "保存"))
        assert IN_USE in run.answer("OK", timeout=30)
        h.click(h.find(w, "push button", "次"))
        assert IN_USE in run.answer("OK", timeout=30)
        # Still memo 1, with the typing; nothing blank.
        assert h.text(memo) == "鍵の間に書いた" and h.text(h.field(w, "ｷｰﾜｰﾄﾞ")) == "印刷"
        h.click(h.find(w, "push button", "終了"))
        _, message = run.message(timeout=30)
        assert NOT_STORED in message and "使用中" in message
        run.answer("閉じない")
        assert run.has_window(ENTRY) and h.text(memo) == "鍵の間に書いた"
    h.click(h.find(w, "push button", "終了"))
    run.wait_window_gone(ENTRY)
    assert book.memo(1)["メモ"] == "鍵の間に書いた"
    assert book.integrity() == "ok"
