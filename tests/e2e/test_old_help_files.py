"""ファイル表示 on the memos of an old memo book: its files and programs are Windows paths, its old
files have been copied into a folder of this machine, and its manuals are PDFs and compiled help."""
import os
import shutil
import subprocess

import cairo
import pytest

import harness as h

DISPLAY = "ヘルプ表示／修正"
CHMCMD = "/usr/bin/chmcmd"

# What the sample's memo 10 points at: a compiled help file, opened with a Windows program.
CHM_MEMO = {"id": 10, "keyword": "数式の表示", "file": "C:\\WINDOWS\\Help\\notepad.chm", "app": "HTMLヘルプ",
            "program": "C:\\WINDOWS\\hh.exe"}


def make_chm(folder, name):
    """A compiled help file with three pages, a contents and a keyword index, written by chmcmd."""
    os.makedirs(folder, exist_ok=True)
    pages = {
        "intro.htm": "<h1>はじめに</h1><p>メモ帳の使い方。</p>",
        "view.htm": '<h1>表示の切り替え</h1><p><img src="pic/eye.png">数式の表示は、表示メニューから選びます。</p>'
                    '<p><a href="intro.htm">はじめにへ</a></p>',
        "font.htm": "<h1>フォント</h1><p>文字の大きさを変えます。</p>",
    }
    for page, body in pages.items():
        with open(os.path.join(folder, page), "w", encoding="utf-8") as f:
            f.write('<html><head><meta charset="utf-8"><link rel="stylesheet" href="style.css"></head>'
                    "<body>%s</body></html>" % body)
    os.makedirs(os.path.join(folder, "pic"), exist_ok=True)
    surface = cairo.ImageSurface(cairo.FORMAT_RGB24, 8, 8)
    surface.write_to_png(os.path.join(folder, "pic", "eye.png"))
    with open(os.path.join(folder, "style.css"), "w") as f:
        f.write("h1 { color: navy; }\n")

    def sitemap(entries):
        items = "".join('<li><object type="text/sitemap"><param name="Name" value="%s">'
                        '<param name="Local" value="%s"></object>' % e for e in entries)
        return '<html><head><meta charset="utf-8"></head><body><ul>%s</ul></body></html>' % items

    with open(os.path.join(folder, "toc.hhc"), "w", encoding="utf-8") as f:
        f.write(sitemap([("はじめに", "intro.htm"), ("表示の切り替え", "view.htm"), ("フォント", "font.htm")]))
    with open(os.path.join(folder, "index.hhk"), "w", encoding="utf-8") as f:
        f.write(sitemap([("印刷", "intro.htm"), ("数式の表示", "view.htm"), ("文字の大きさ", "font.htm")]))
    with open(os.path.join(folder, "help.hhp"), "w", encoding="utf-8") as f:
        f.write("[OPTIONS]\nCompiled file=%s\nContents file=toc.hhc\nIndex file=index.hhk\n"
                "Default topic=intro.htm\nTitle=メモ帳のヘルプ\nLanguage=0x411 Japanese\n\n[FILES]\n%s\n"
                % (name, "\n".join(list(pages) + ["style.css", "pic/eye.png"])))
    subprocess.run([CHMCMD, "help.hhp"], cwd=folder, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return os.path.join(folder, name)


def make_pdf(path, pages, outline):
    """A PDF of Japanese text lines per page, with outline entries (title, page from 0)."""
    surface = cairo.PDFSurface(path, 595, 842)
    context = cairo.Context(surface)
    context.select_font_face("Noto Sans CJK JP")
    context.set_font_size(12)
    for lines in pages:
        for i, line in enumerate(lines):
            context.move_to(56, 72 + 18 * i)
            context.show_text(line)
        context.show_page()
    for title, page in outline:
        surface.add_outline(cairo.PDF_OUTLINE_ROOT, title, "page=%d" % (page + 1), 0)
    surface.finish()


FOLDER_DIALOG = "ドライブ C:の中身を置いたフォルダーを選んでください"


def choose_folder(run, path, owner):
    """Types the folder's path into the folder dialog and presses Enter; returns once the owner
    window is active."""
    box = h.find(run.window(FOLDER_DIALOG), "text", "ディレクトリ:")
    h.type_over(box, path)
    h.key("Return")
    run.wait_window_gone(FOLDER_DIALOG)
    run.window(owner)


def status_line(viewer):
    """The line under the viewer's page that says where the reader is."""
    return h.find(viewer, "status bar").name


def message_line(viewer):
    return next((n.name for n in h.walk(viewer) if h.role(n) == "label" and "。" in (n.name or "")), "")


@pytest.fixture
def old_book(folder, tmp_path):
    """The sample memo book converted at the first start, and what was drive C: copied into a
    folder with its names in other letter cases, as a copy from a Windows disk can have them."""
    if not os.path.exists(CHMCMD):
        pytest.skip("chmcmd (fp-utils) is not installed")
    shutil.copy(os.path.join(h.JET_DATA, "IDATA2_sample_v2000.mdb"), folder.book)
    drive_c = str(tmp_path / "old-c")
    make_chm(os.path.join(drive_c, "windows", "HELP"), "NOTEPAD.CHM")
    os.makedirs(os.path.join(drive_c, "manuals"))
    make_pdf(os.path.join(drive_c, "manuals", "excel.pdf"),
             [["はじめに"], ["セルの書式"], ["関数", "合計の求め方"], ["グラフ", "ピボットテーブルを作る", "集計の方法"]],
             [("はじめに", 0), ("セルの書式", 1), ("関数", 2), ("グラフ", 3)])
    run = folder.start(wait_main=False)
    assert "メモ 300 件" in run.answer("OK", timeout=60)
    run.main_window()
    return run, drive_c


def show_file_of(run, keyword, memo_id):
    """Searches the display window for the keyword and clicks ファイル表示 on that memo."""
    if run.has_window(DISPLAY):
        # Back from the viewer, the window manager may have made another window active.
        window = run.window(DISPLAY, active=False)
        h.activate(window)
    else:
        window = h.open_window(run, DISPLAY)
    h.display_search(window, keyword=keyword)
    table = h.find(window, "table")
    h.wait_for(lambda: memo_id in h.table_ids(table), "memo %d found" % memo_id)
    h.click(h.table_cell(table, h.table_ids(table).index(memo_id), 2))
    h.wait_for(lambda: h.display_page(window)["ｷｰﾜｰﾄﾞ"] == keyword, "memo %d current" % memo_id)
    h.click(h.find(window, "push button", "ファイル表示"))


def test_old_files_are_found_where_the_user_put_them(folder, old_book):
    run, drive_c = old_book
    memo_file = folder.memo(CHM_MEMO["id"])["ヘルプファイル"]
    assert memo_file == CHM_MEMO["file"]
    show_file_of(run, CHM_MEMO["keyword"], CHM_MEMO["id"])

    # The first file of drive C: asks where its files are now.
    question = run.answer("はい")
    assert "ドライブ C:" in question and CHM_MEMO["file"] in question
    choose_folder(run, drive_c, "ヘルプ - notepad.chm")

    # The compiled help opens at the keyword's topic of its index, its picture and style inside.
    viewer = h.help_viewer(run, "notepad.chm")
    h.wait_equal(lambda: status_line(viewer), "notepad.chm　「数式の表示」", "the viewer at the keyword's topic")
    h.wait_for(lambda: any("数式の表示は、表示メニューから選びます。" in h.text(n) for n in h.walk(viewer)),
               "the topic's page shown")
    assert [h.text(t) for t in h.find_all(viewer, "page tab")] == ["索引", "目次"]
    # The registered Windows program could not start: the viewer says which, and what to do.
    notice = message_line(viewer)
    assert CHM_MEMO["program"] in notice and "アプリケーション登録" in notice, notice

    # Remembered in the user's settings; the memo book keeps the Windows path.
    settings = os.path.join(folder.path, "home", ".config", "orvalent", "orvalent.conf")
    assert drive_c in open(settings, encoding="utf-8").read()
    assert folder.memo(CHM_MEMO["id"])["ヘルプファイル"] == CHM_MEMO["file"]

    # A PDF manual of the same drive: found without a question, at the first page of the keyword.
    memo_id = folder.add_memo(date="2003/04/01", keyword="ピボットテーブル", memo="集計表を作る",
                              file="C:\\Manuals\\Excel.PDF")
    h.key("Escape")
    run.wait_window_gone("ヘルプ - notepad.chm")
    show_file_of(run, "ピボットテーブル", memo_id)
    pdf = h.help_viewer(run, "Excel.PDF")
    h.wait_equal(lambda: status_line(pdf), "Excel.PDF　ページ 4 / 4　「ピボットテーブル」1 件中 1 件目",
                 "the PDF at the keyword's page")
    run.no_message()
    assert folder.integrity() == "ok"


def test_pdf_outline_entry_and_next_hit_by_keys(folder, old_book):
    run, drive_c = old_book
    memo_id = folder.add_memo(date="2003/04/02", keyword="関数", file="C:\\manuals\\EXCEL.pdf")
    show_file_of(run, "関数", memo_id)
    run.answer("はい")
    choose_folder(run, drive_c, "ヘルプ - EXCEL.pdf")
    viewer = h.help_viewer(run, "EXCEL.pdf")
    # The outline is the index: its entry of the keyword is chosen and its page shown.
    h.wait_equal(lambda: status_line(viewer), "EXCEL.pdf　ページ 3 / 4", "the outline entry's page")
    h.wait_equal(lambda: h.chosen_topics(viewer), ["関数"], "the outline entry chosen")
    # Words that no entry begins with are looked for in the text, F3 going on round.
    h.key("alt+i")
    h.type_text("の")
    h.key("alt+d")
    h.wait_equal(lambda: status_line(viewer), "EXCEL.pdf　ページ 2 / 4　「の」3 件中 1 件目", "the first hit")
    h.key("F3")
    h.wait_equal(lambda: status_line(viewer), "EXCEL.pdf　ページ 3 / 4　「の」3 件中 2 件目", "the next hit")
    h.key("shift+F3")
    h.key("shift+F3")
    h.wait_equal(lambda: status_line(viewer), "EXCEL.pdf　ページ 4 / 4　「の」3 件中 3 件目", "back round")


def test_old_files_window_changes_and_forgets(folder, old_book, tmp_path):
    run, drive_c = old_book
    show_file_of(run, CHM_MEMO["keyword"], CHM_MEMO["id"])
    run.answer("いいえ")
    viewer = h.help_viewer(run, "notepad.chm")
    h.wait_for(lambda: "以前のファイルの場所" in message_line(viewer), "the viewer saying why nothing is shown")
    # The folder is chosen afterwards in the small window, and the file is then shown.
    h.click(h.find(viewer, "push button", "以前のファイルの場所…"))
    window = run.window("以前のファイルの場所")
    h.find(window, "label", "まだどのフォルダーも選ばれていません。見つからないファイルを開いたときに選ぶことができます。")
    h.click(h.find(window, "push button", "閉じる"))
    run.wait_window_gone("以前のファイルの場所")
    h.key("Escape")
    run.wait_window_gone("ヘルプ - notepad.chm")
    show_file_of(run, CHM_MEMO["keyword"], CHM_MEMO["id"])
    run.answer("はい")
    choose_folder(run, drive_c, "ヘルプ - notepad.chm")
    viewer = h.help_viewer(run, "notepad.chm")
    h.wait_equal(lambda: status_line(viewer), "notepad.chm　「数式の表示」", "the topic shown")
    h.click(h.find(viewer, "push button", "以前のファイルの場所…"))
    window = run.window("以前のファイルの場所")
    roots = h.find(window, "list", "ドライブと共有フォルダーの置き場所")
    line = h.wait_for(lambda: next((i for i in h._list_items(roots) if h.text(i) == "C: → " + drive_c), None),
                      "the choice listed")
    h.click(line)
    h.click(h.find(window, "push button", "削除"))
    h.wait_for(lambda: not h._list_items(roots), "the choice forgotten")
    settings = os.path.join(folder.path, "home", ".config", "orvalent", "orvalent.conf")
    assert drive_c not in open(settings, encoding="utf-8").read()
