"""The memo book shared with others: a second running copy that saves the memo being typed over, and
another program holding the memo book locked, for less and for more than the program waits."""
import subprocess

import pytest

import harness as h

CONFLICT_CHANGED = "このメモは、表示した後に、ほかに起動しているオルバレントで変更されました。"
CONFLICT_DELETED = "このメモは、表示した後に、ほかに起動しているオルバレントで削除されました。"
STORE_MINE = "入力した内容で上書きする"
SHOW_THEIRS = "相手の内容を表示（入力は破棄）"
COPY_MINE = "入力をコピーして相手の内容を表示"
IN_USE = "メモ帳（IDATA2.mdb）をほかのプログラムが使用中のため、出来ませんでした。"
NOT_STORED = "入力した内容を保存出来ませんでした。"


def clipboard():
    done = subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True, timeout=10)
    return done.stdout.decode("utf-8", "replace") if done.returncode == 0 else ""


def open_entry(run):
    h.click(h.find(run.main_window(), "push button", "ヘルプ登録"))
    return run.window("ヘルプ登録")


def two_copies(book):
    """Two copies on one memo book, side by side: the second one's windows dragged to the right,
    since both open theirs in the same places."""
    a = book.start(name="first-copy")
    wa = open_entry(a)
    b = book.start(name="second-copy")
    h.drag_window(b.main_window(), 0, 300)
    wb = open_entry(b)
    h.drag_window(wb, 600, 0)
    return a, wa, b, wb


def open_display(run):
    h.click(h.find(run.main_window(), "push button", "ヘルプ表示／修正"))
    return run.window("ヘルプ表示／修正")


def field(window, name):
    return h.find(window, "combo box" if name != "メモ" else "text", name)


def retype(box, text):
    h.click(box)
    h.key("ctrl+a")
    h.type_text(text)


@pytest.fixture
def book(folder):
    folder.add_memo(date="2026/12/01", keyword="印刷", memo="最初のメモ")
    folder.add_memo(date="2026/12/02", keyword="保存", memo="二件目のメモ")
    return folder


def saved_elsewhere(book, window_b, memo_text):
    """The second copy stores its own memo text over memo 1, as its user would."""
    memo = field(window_b, "メモ")
    retype(memo, memo_text)
    h.click(h.find(window_b, "push button", "保存"))
    h.wait_for(lambda: book.memo(1)["メモ"] == memo_text, "the second copy's save")


@pytest.mark.parametrize("choice", [STORE_MINE, SHOW_THEIRS, COPY_MINE])
def test_save_over_another_copys_save_asks_whose_version(book, choice):
    a, wa, b, wb = two_copies(book)
    h.wait_for(lambda: h.text(field(wa, "メモ")) == "最初のメモ", "memo 1 in the first copy")
    h.wait_for(lambda: h.text(field(wb, "メモ")) == "最初のメモ", "memo 1 in the second copy")
    retype(field(wa, "メモ"), "一つ目のコピーで書いた")
    saved_elsewhere(book, wb, "二つ目のコピーで書いた")

    h.click(h.find(wa, "push button", "保存"))
    _, message = a.message()
    assert CONFLICT_CHANGED in message
    a.answer(choice)
    if choice == STORE_MINE:
        h.wait_for(lambda: book.memo(1)["メモ"] == "一つ目のコピーで書いた", "mine stored over theirs")
        assert h.text(field(wa, "メモ")) == "一つ目のコピーで書いた"
    else:
        h.wait_for(lambda: h.text(field(wa, "メモ")) == "二つ目のコピーで書いた", "theirs shown")
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
    h.wait_for(lambda: h.text(field(wb, "メモ")) == "最初のメモ", "memo 1 in the second copy")
    retype(field(wa, "ｷｰﾜｰﾄﾞ"), "一つ目の語")
    saved_elsewhere(book, wb, "二つ目のコピーで書いた")

    # A move with typing pending neither moves nor passes silently.
    h.click(h.find(wa, "push button", "次"))
    _, message = a.message()
    assert CONFLICT_CHANGED in message
    a.answer(COPY_MINE)
    h.wait_for(lambda: h.text(field(wa, "ｷｰﾜｰﾄﾞ")) == "印刷", "theirs shown, on the same memo")
    assert h.text(field(wa, "メモ")) == "二つ目のコピーで書いた"
    assert clipboard() == "一つ目の語"

    # Closing: theirs keeps the window open; mine stores and closes.
    saved_elsewhere(book, wb, "もう一度書き直した")
    retype(field(wa, "ｷｰﾜｰﾄﾞ"), "閉じる前の語")
    h.click(h.find(wa, "push button", "終了"))
    _, message = a.message()
    assert CONFLICT_CHANGED in message
    a.answer(SHOW_THEIRS)
    h.wait_for(lambda: h.text(field(wa, "メモ")) == "もう一度書き直した", "theirs shown")
    assert a.has_window("ヘルプ登録")
    retype(field(wa, "ｷｰﾜｰﾄﾞ"), "閉じる前の語")
    saved_elsewhere(book, wb, "三度目")
    h.click(h.find(wa, "push button", "終了"))
    a.answer(STORE_MINE)
    a.wait_window_gone("ヘルプ登録")
    assert book.memo(1)["ｷｰﾜｰﾄﾞ"] == "閉じる前の語" and book.memo(1)["メモ"] == "三度目"


def test_a_memo_deleted_by_another_copy_can_be_stored_again(book):
    a, wa, b, wb = two_copies(book)
    h.wait_for(lambda: h.text(field(wb, "メモ")) == "最初のメモ", "memo 1 in the second copy")
    retype(field(wa, "メモ"), "消されても残したい")
    h.click(h.find(wb, "push button", "削除"))
    b.answer("はい")
    h.wait_for(lambda: book.memo(1) is None, "memo 1 deleted by the second copy")
    h.click(h.find(wa, "push button", "保存"))
    _, message = a.message()
    assert CONFLICT_DELETED in message
    a.answer("入力した内容で保存し直す")
    h.wait_for(lambda: book.memo(1) is not None, "memo 1 stored again")
    assert book.memo(1)["メモ"] == "消されても残したい" and book.memo(1)["ｷｰﾜｰﾄﾞ"] == "印刷"


def test_a_lock_shorter_than_the_wait_is_not_seen(book):
    run = book.start()
    w = open_entry(run)
    retype(field(w, "メモ"), "待ってから保存")
    lock = h.Lock(book.book, exclusive=True)
    h.click(h.find(w, "push button", "保存"))
    # The program waits; the lock goes well within its wait.
    lock.release_after(1.5)
    h.wait_for(lambda: book.memo(1)["メモ"] == "待ってから保存", "the save after the lock", timeout=20)
    assert run.no_message()


def test_a_lock_longer_than_the_wait_is_told_and_nothing_changes(book):
    run = book.start()
    w = open_display(run)
    grid = h.find(w, "table")
    h.wait_for(lambda: h.table_row_count(grid) == 2, "all memos listed")
    with h.Lock(book.book, exclusive=True):
        # A search says the memo book is in use; the grid keeps what it showed.
        retype(field(w, "ｷｰﾜｰﾄﾞ"), "保存")
        h.click(h.find(w, "push button", "検索開始"))
        assert IN_USE in run.answer("OK", timeout=30)
        assert h.table_row_count(grid) == 2
        # The hand-over opens no empty, dead entry window.
        h.click(h.find(w, "push button", "ヘルプ修正"))
        assert IN_USE in run.answer("OK", timeout=30)
        assert not run.has_window("ヘルプ登録")
    # Once the lock is gone, the same clicks work.
    h.click(h.find(w, "push button", "検索開始"))
    h.wait_for(lambda: h.table_rows(grid) == [["2", "2026/12/02", "保存", "", "", ""]], "the search")
    h.click(h.find(w, "push button", "ヘルプ修正"))
    entry = run.window("ヘルプ登録")
    h.wait_for(lambda: h.text(field(entry, "ｷｰﾜｰﾄﾞ")) == "保存", "the memo handed over")


def test_entry_window_under_a_long_lock_keeps_its_memo_and_its_typing(book):
    run = book.start()
    w = open_entry(run)
    memo = field(w, "メモ")
    h.wait_for(lambda: h.text(memo) == "最初のメモ", "memo 1")
    retype(memo, "鍵の間に書いた")
    with h.Lock(book.book, exclusive=True):
        h.click(h.find(w, "push button", "保存"))
        assert IN_USE in run.answer("OK", timeout=30)
        h.click(h.find(w, "push button", "次"))
        assert IN_USE in run.answer("OK", timeout=30)
        # Still memo 1, with the typing; nothing blank.
        assert h.text(memo) == "鍵の間に書いた" and h.text(field(w, "ｷｰﾜｰﾄﾞ")) == "印刷"
        h.click(h.find(w, "push button", "終了"))
        _, message = run.message(timeout=30)
        assert NOT_STORED in message and "使用中" in message
        run.answer("閉じない")
        assert run.has_window("ヘルプ登録") and h.text(memo) == "鍵の間に書いた"
    h.click(h.find(w, "push button", "終了"))
    run.wait_window_gone("ヘルプ登録")
    assert book.memo(1)["メモ"] == "鍵の間に書いた"
    assert book.integrity() == "ok"
