"""Start-up on memo books that are not what they should be: a damaged one, an old Jet memo book
dropped in, a Jet file of another program, a damaged Jet file; each says which file, why and the way
on, and nothing is changed that the user did not change."""
import os
import shutil
import sqlite3

import pytest

import harness as h

STARTUP_FAILURE = "起動出来ません。ハードディスクの"


def started_once(folder):
    """The folder after one start and close: its backup is the last good copy."""
    run = folder.start()
    h.click(h.find(run.main_window(), "push button", "終了"))
    run.wait_exit()


def contents(path):
    with open(path, "rb") as f:
        return f.read()


def test_a_damaged_memo_book_names_the_file_and_the_way_back(folder):
    for i in range(200):
        folder.add_memo(date="2026/12/01", keyword="語%d" % i, memo="あ" * 400)
    started_once(folder)
    backup = os.path.join(folder.path, "Back Up", "IDATA2.mdb")
    with open(folder.book, "r+b") as f:
        f.seek(os.path.getsize(folder.book) // 2)
        f.write(b"\x5a" * 8192)
    damaged, kept = contents(folder.book), contents(backup)

    run = folder.start(wait_main=False)
    _, message = run.message()
    assert STARTUP_FAILURE in message
    assert "ファイル：" + folder.book in message and "メモ帳のファイルが壊れています。" in message
    assert backup + " を " + folder.path + " にコピーして下さい。" in message.replace("\n", "")
    run.answer("OK")
    assert run.wait_exit() != 0
    assert contents(folder.book) == damaged and contents(backup) == kept

    # The way back works.
    shutil.copy(backup, folder.book)
    run = folder.start()
    grid = h.find(h.open_window(run, h.DISPLAY), "table")
    h.wait_for(lambda: h.table_row_count(grid) == 200, "the memos of the last good copy")


def test_a_program_closed_at_once_still_leaves_its_new_backup(folder):
    """The copy is checked beside the main window; closing at once by the keyboard waits for it."""
    for i in range(300):
        folder.add_memo(date="2026/12/01", keyword="語%d" % i, memo="い" * 2000)
    run = folder.start()
    run.main_window()
    h.key("alt+F4")
    assert run.wait_exit() == 0
    backup = os.path.join(folder.path, "Back Up", "IDATA2.mdb")
    with sqlite3.connect("file:%s?mode=ro" % backup, uri=True) as db:
        assert db.execute("PRAGMA quick_check").fetchone()[0] == "ok"
        assert db.execute("SELECT count(*) FROM メモ帳").fetchone()[0] == 300
    leftovers = [n for n in os.listdir(os.path.dirname(backup)) if n.startswith(".IDATA2.mdb.")]
    assert leftovers == []


def test_an_old_memo_book_dropped_in_comes_across_whole(folder):
    sample = os.path.join(h.JET_DATA, "IDATA2_sample_v2000.mdb")
    shutil.copy(sample, folder.book)
    run = folder.start(wait_main=False)
    message = run.answer("OK", timeout=60)
    assert "メモ 300 件、アプリケーション 10 件を移しました。" in message
    grid = h.find(h.open_window(run, h.DISPLAY), "table")
    h.wait_for(lambda: h.table_row_count(grid) == 300, "the 300 memos listed")
    assert folder.sql("SELECT count(*) FROM メモ帳") == [(300,)]
    assert folder.integrity() == "ok"
    assert contents(os.path.join(folder.path, "Back Up", "IDATA2 (Jet).mdb")) == contents(sample)


@pytest.mark.parametrize("sample, why", [
    ("noRoman.mdb", "「メモ帳」の表がありません"),
    # The reading library loops on it, printing gigabytes of warnings.
    ("hang_props_loop.mdb", "壊れている"),
])
def test_a_jet_file_that_cannot_come_across_is_left_as_it_is(folder, sample, why):
    original = os.path.join(h.JET_DATA, sample)
    shutil.copy(original, folder.book)
    run = folder.start(wait_main=False)
    _, message = run.message(timeout=120)
    assert "変換出来ませんでした" in message and why in message
    assert "ファイル：" + folder.book in message and "別の場所に移" in message
    # Whatever the converter prints or does, the program itself stays small.
    assert run.rss_peak_kb() < 150 * 1024, "the program grew to %d kB" % run.rss_peak_kb()
    run.answer("OK")
    assert run.wait_exit() != 0
    assert contents(folder.book) == contents(original)
    assert not os.path.exists(os.path.join(folder.path, "Back Up", "IDATA2 (Jet).mdb"))
