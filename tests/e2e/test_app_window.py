"""The application registration window (アプリケーション登録): registering an application by typing or by
choosing its program file, and deleting one."""
import os

import pytest

import harness as h
from harness import APPS, MAIN

FILE_DIALOG = "アプリケーションを登録して下さい"
PATH_BOX = "アプリケーションのパス"


def applications(folder):
    return folder.sql("SELECT ID, ifnull(アプリＩＤ, ''), ifnull(パス, '') FROM パス ORDER BY ID")


def grid_shows(window, rows):
    grid = h.find(window, "table")
    h.wait_equal(lambda: h.table_rows(grid), rows, "the rows of the grid")


def test_an_empty_table_opens_on_a_new_empty_record(folder):
    run = folder.start()
    w = h.open_window(run, APPS)
    h.wait_equal(lambda: applications(folder), [(1, "", "")], "the registered applications")
    grid_shows(w, [["1", "", ""]])
    h.wait_shown(w, PATH_BOX, "")
    h.wait_shown(w, "アプリＩＤ", "")
    h.wait_focus(run, PATH_BOX)
    assert run.no_message()


def test_an_application_typed_in_is_registered(folder):
    run = folder.start()
    w = h.open_window(run, APPS)
    grid_shows(w, [["1", "", ""]])
    h.type_over(h.field(w, PATH_BOX), "/usr/local/bin/エディタ")
    h.type_over(h.field(w, "アプリＩＤ"), "EDIT")
    h.click(h.find(w, "push button", "保存"))
    h.wait_equal(lambda: applications(folder), [(1, "EDIT", "/usr/local/bin/エディタ")], "the registered applications")
    grid_shows(w, [["1", "EDIT", "/usr/local/bin/エディタ"]])
    assert run.no_message()


@pytest.mark.parametrize("then", ["保存", "終了", "alt+F4", "cancel"],
                         ids=["save", "exit-button", "window-close", "cancel"])
def test_the_program_file_chosen_in_the_dialog(folder, tmp_path, then):
    program = tmp_path / "ツール" / "編集.EXE"
    program.parent.mkdir()
    program.write_text("#!/bin/sh\n")
    os.chmod(program, 0o755)
    folder.add_application("EDIT", "/old/edit")
    run = folder.start()
    w = h.open_window(run, APPS)
    h.wait_shown(w, PATH_BOX, "/old/edit")
    h.click(h.find(w, "push button", "アプリケーション登録"))
    dialog = run.window(FILE_DIALOG)
    assert h.text(h.find(dialog, "text", "ファイル名(N):")) == "Name"
    kinds = h.find(dialog, "combo box", "ｱﾌﾟﾘｹｰｼｮﾝ(*.EXE)")
    if then == "保存":
        assert h.drop_down(run, kinds)[1] == ["ｱﾌﾟﾘｹｰｼｮﾝ(*.EXE)", "*.*"]
        h.key("Escape")
        h.wait_for(lambda: run.has_window(FILE_DIALOG) and not h.find_all(kinds, "list"), "the list closed")
    if then == "cancel":
        h.cancel_file_dialog(run, FILE_DIALOG, APPS)
        h.wait_shown(w, PATH_BOX, "/old/edit")
        h.click(h.find(w, "push button", "保存"))
        grid_shows(w, [["1", "EDIT", "/old/edit"]])
        assert applications(folder) == [(1, "EDIT", "/old/edit")]
        return
    h.choose_file(run, FILE_DIALOG, str(program), APPS)
    h.wait_shown(w, PATH_BOX, str(program))
    if then == "保存":
        h.click(h.find(w, "push button", "保存"))
        grid_shows(w, [["1", "EDIT", str(program)]])
    elif then == "終了":
        h.click(h.find(w, "push button", "終了"))
        run.wait_window_gone(APPS)
    else:
        h.key(then)
        run.wait_window_gone(APPS)
    h.wait_equal(lambda: applications(folder), [(1, "EDIT", str(program))], "the registered applications")
    assert run.has_window(MAIN) and run.no_message()


@pytest.mark.parametrize("answer", ["はい", "いいえ"])
def test_delete_asks_first(folder, answer):
    folder.add_application("WORD", "/opt/word")
    folder.add_application("EXCEL", "/opt/excel")
    run = folder.start()
    w = h.open_window(run, APPS)
    grid_shows(w, [["1", "WORD", "/opt/word"], ["2", "EXCEL", "/opt/excel"]])
    h.wait_shown(w, "アプリＩＤ", "WORD")
    h.click(h.find(w, "push button", "削除"))
    box, text = run.message()
    assert text == "データを削除しますか？"
    assert box.name == "選択表示"
    run.answer(answer)
    if answer == "はい":
        h.wait_shown(w, "アプリＩＤ", "EXCEL")
        grid_shows(w, [["2", "EXCEL", "/opt/excel"]])
        assert applications(folder) == [(2, "EXCEL", "/opt/excel")]
    else:
        h.wait_shown(w, "アプリＩＤ", "WORD")
        grid_shows(w, [["1", "WORD", "/opt/word"], ["2", "EXCEL", "/opt/excel"]])
        assert applications(folder) == [(1, "WORD", "/opt/word"), (2, "EXCEL", "/opt/excel")]
    assert run.no_message()


def test_a_row_clicked_while_the_typing_is_refused_keeps_the_record(folder):
    folder.add_application("first", "/first")
    folder.add_application("second", "/second")
    run = folder.start()
    w = h.open_window(run, APPS)
    grid = h.find(w, "table")
    h.wait_for(lambda: h.table_row_count(grid) == 2, "both applications listed")
    # Longer than a path of the table may be: the file refuses it.
    h.type_over(h.field(w, PATH_BOX), "a" * 256)
    h.click(h.table_cell(grid, 1, 1))
    # The move ends silently, as the window's moves do; the record, its row and the typing stay.
    h.wait_for(lambda: "not stored" in run.read_log(), "the refusal of the click's move")
    h.wait_for(lambda: h.has_state(h.table_cell(grid, 0, 1), "selected"), "the first row chosen")
    assert not h.has_state(h.table_cell(grid, 1, 1), "selected")
    assert h.text(h.field(w, PATH_BOX)) == "a" * 256
    assert applications(folder) == [(1, "first", "/first"), (2, "second", "/second")]
    assert run.no_message()
