"""The memo book that the tests of the display window, of the keyboard and of the screen reader
share, and what the display window shows of it."""
import harness as h

# The display window's grid.
GRID_HEADERS = ["ID", "日付", "ｷｰﾜｰﾄﾞ", "検索キー１", "検索キー２", "ヘルプファイル"]

# IDs 1 to 5, in this order. No two memos share a search key, so that sorts have one answer.
MEMOS = [
    dict(date="2026/12/03", keyword="印刷", key1="用紙", key2="横向き", memo="用紙を横向きにして印刷する。"),
    dict(date="2026/12/01", keyword="印刷", key1="余白", key2="狭く", memo="ページ設定で余白を狭くする。"),
    dict(date="2026/12/02", keyword="保存", key1="名前", key2="形式", app="ワープロ",
         memo="名前を付けて保存し、形式を選ぶ。"),
    dict(date="2026/12/04", keyword="検索", key1="置換", key2="正規表現", memo="正規表現で置換する。"),
    dict(date="2026/12/05", keyword="印刷", key1="部数", key2="", memo="部数を指定して印刷する。",
         file="/文書/部数の手引き.txt"),
]


def fill_book(folder, memos=MEMOS):
    return [folder.add_memo(**memo) for memo in memos]


def grid_row(memo_id, memo):
    """The display window's grid row of a memo."""
    return [str(memo_id), memo["date"], memo["keyword"], memo["key1"], memo["key2"], memo.get("file", "")]


def page_of(memo, kept=False):
    """What a page of the display window shows for a memo (h.display_page)."""
    return {"日付": h.long_date(memo["date"]), "ｷｰﾜｰﾄﾞ": memo["keyword"], "メモ": memo["memo"], "保存": kept}
