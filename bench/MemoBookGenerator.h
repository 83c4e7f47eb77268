#pragma once

// A memo book of any size with realistic content, for the benchmarks: a few thousand
// keywords from the vocabulary of office and desktop software, a few hundred search keys of
// each kind, about fifty application IDs (most of them registered in the table of
// applications), dates in the short form over thirty years, help file paths and memo texts
// of a few hundred characters. Memo i is a pure function of the seed and i, so every run
// with the same seed writes the same book, and a benchmark can tell what memo ID i + 1
// holds without reading it.
//
// Header-only on purpose: every bench/*.cpp is a program of its own.

#include "core/Result.h"
#include "db/Schema.h"
#include "db/Statement.h"

#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QString>
#include <QStringList>

#include <sqlite3.h>

#include <cmath>
#include <functional>
#include <numeric>

namespace MemoBookGenerator {

inline constexpr quint64 DefaultSeed = 20261206;

// SplitMix64: small, fast and the same on every platform (the standard distributions are not).
class Random
{
public:
    explicit Random(quint64 seed) : m_state(seed) {}
    quint64 next()
    {
        quint64 z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // In [0, 1).
    double real() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }
    // In [0, n).
    int below(int n) { return int(real() * n); }
    // In [0, n), the low ones much more often: P(index < k) = (k / n) ^ (1 / skew).
    int skewed(int n, double skew) { return qMin(n - 1, int(std::pow(real(), skew) * n)); }
    bool chance(double p) { return real() < p; }
    template <class List> const auto& pick(const List& list) { return list[below(int(list.size()))]; }

private:
    quint64 m_state;
};

struct Application
{
    QString id;
    QString path;
    bool registered;
};

struct Memo
{
    QString date, file, keyword, key1, key2, appId, memo;
};

namespace detail {

inline QStringList words(const char* text)
{
    return QString::fromUtf8(text).split(QLatin1Char('|'));
}

inline const QStringList& nouns()
{
    static const QStringList list =
        words("印刷|差し込み印刷|ピボットテーブル|マクロの記録|ページ設定|ヘッダー|フッター|段組み|目次|索引|脚注|"
              "表|セルの結合|条件付き書式|入力規則|オートフィルタ|並べ替え|グラフ|図形|画像|テキストボックス|"
              "ワードアート|スタイル|テンプレート|変更履歴|コメント|検索|置換|ジャンプ|ブックマーク|ハイパーリンク|"
              "文字コード|改ページ|セクション区切り|行間|インデント|タブ位置|箇条書き|段落番号|ルビ|縦書き|"
              "均等割り付け|フォント|文字色|網かけ|罫線|列幅|行の高さ|ウィンドウ枠の固定|シートの保護|ブックの共有|"
              "名前の定義|関数|VLOOKUP|SUMIF|小計|集計|外部データ|CSV|自動保存|バックアップ|パスワード|"
              "読み取り専用|ツールバー|ショートカットキー|右クリックメニュー|オプション|アドイン|レイヤー|マスク|"
              "選択範囲|グラデーション|トリミング|解像度|色調補正|フィルター|ブラシ|パス|辞書登録|単語登録|"
              "かな漢字変換|郵便番号変換|IME|添付ファイル|署名|受信トレイ|仕分けルール|アドレス帳|予定表|"
              "お気に入り|キャッシュ|プロキシ|拡張機能|ダウンロード|圧縮|解凍|ファイルの結合|ファイルの分割|"
              "印刷範囲|用紙サイズ|余白|両面印刷|部数|プリンタ|PDF出力|エクスポート|インポート|クエリ|フォーム|"
              "レポート|リレーションシップ|主キー|インデックス|ブレークポイント|ステップ実行|ウォッチ式|コンパイル|"
              "デバッグ|環境変数|正規表現|一括置換|ボタン|ダイアログ|元に戻す|やり直し|コピー|貼り付け|"
              "形式を選択して貼り付け|書式のコピー|オートコレクト|オートコンプリート|スペルチェック|文章校正|文字数|"
              "行番号|透かし|背景|テーマ|スライドショー|アニメーション|画面切り替え|ノート|配布資料|スライドマスタ|"
              "差し込みフィールド|宛名ラベル|封筒|はがき印刷|表計算|数式バー|絶対参照|相対参照|オートSUM|"
              "フィルハンドル|連続データ|日付の表示形式|通貨記号|桁区切り|小数点|文字列の結合|全角と半角|"
              "ふりがな|テーブル|ピボットグラフ|ゴールシーク|ソルバー|シナリオ|データの入力規則|重複の削除|"
              "エラー値|循環参照|再計算|ショートカット|スタートメニュー|タスクバー|壁紙|スクリーンセーバー|"
              "フォルダ|ごみ箱|ネットワークドライブ|共有フォルダ|ファイルの検索|拡張子|関連付け|ドライバ|"
              "フォントのインストール|画面のコピー|クリップボード|文字化け|ファイル名|上書き保存|名前を付けて保存");
    return list;
}

inline const QStringList& keywordEndings()
{
    static const QStringList list = words("|の設定|の解除|の変更|の削除|の追加|の挿入|の印刷|の保存|の表示|を使う|"
                                          "ができない|の既定値|の一括変更|の手順|の注意|の確認|の調整");
    return list;
}

inline const QStringList& key1Topics()
{
    static const QStringList list = words("操作|設定|書式|印刷|ファイル|表示|編集|入力|検索|計算|図形|画像|文字|表|"
                                          "グラフ|保存|変換|通信|メール|連携|自動化|管理|セキュリティ|トラブル|"
                                          "高速化|初期設定|便利技|小技|基本|応用");
    return list;
}

inline const QStringList& key1Aspects()
{
    static const QStringList list = words("|（基本）|（応用）|・メニュー|・キー操作|・マウス操作|・ダイアログ|"
                                          "・注意点|・裏技|・よく使う");
    return list;
}

inline const QStringList& key2Contexts()
{
    static const QStringList list = words("Windows 95|Windows 98|Windows NT|Windows 2000|Windows XP|Linux|Ver.5|"
                                          "Ver.6|Ver.7|Ver.97|Ver.2000|会社|自宅|報告書|見積書|請求書|議事録|名簿|"
                                          "年賀状|案内状|会計|在庫|顧客|日報|月報|企画書|論文|マニュアル|回覧|掲示");
    return list;
}

inline const QStringList& key2Aspects()
{
    static const QStringList list = words("|用|向け|で使う|の例|の時|対応|関連|のみ|共通");
    return list;
}

inline QStringList combine(const QStringList& heads, const QStringList& tails)
{
    QStringList all;
    all.reserve(heads.size() * tails.size());
    for (const QString& head : heads) {
        for (const QString& tail : tails)
            all.append(head + tail);
    }
    // Spread the order so that the common values (the low indexes) are not all alike.
    QStringList spread;
    spread.reserve(all.size());
    const qsizetype n = all.size();
    qsizetype step = 7919;
    while (std::gcd(step, n) != 1)
        ++step;
    for (qsizetype i = 0; i < n; ++i)
        spread.append(all[(i * step) % n]);
    return spread;
}

inline const QStringList& menus()
{
    static const QStringList list = words("ファイル|編集|表示|挿入|書式|ツール|表|データ|ウィンドウ|ヘルプ|罫線|図");
    return list;
}

inline const QStringList& menuItems()
{
    static const QStringList list =
        words("オプション|ページ設定|印刷プレビュー|名前を付けて保存|ユーザー設定|段落|フォント|線種とページ罫線|"
              "並べ替え|フィルタ|入力規則|マクロ|置換|ジャンプ|セル|シート|スタイルと書式|箇条書きと段落番号|"
              "文字数カウント|プロパティ|アドイン|オートコレクトのオプション|変更履歴の記録|保護|共有|"
              "ツールバー|ズーム|ルーラー|グリッド線|区切り|ページ番号|日付と時刻|記号と特殊文字|図の書式設定");
    return list;
}

inline const QStringList& shortcutKeys()
{
    static const QStringList list = words("Ctrl+P|Ctrl+S|Ctrl+Z|Ctrl+Y|Ctrl+F|Ctrl+H|Ctrl+G|Ctrl+Shift+F9|Alt+F4|"
                                          "Alt+F8|Alt+F11|Shift+F3|F4|F5|F7|F9|F12|Ctrl+Enter|Ctrl+;|Ctrl+1");
    return list;
}

inline const QStringList& objects()
{
    static const QStringList list = words("ファイル|シート|ページ|段落|セル|図形|画像|ページ番号|表|スライド|レコード|"
                                          "メッセージ|フォルダ|レイヤー|行|列|文書|ブック");
    return list;
}

// Sentences with slots: %K keyword, %A application, %M menu, %I menu item, %S shortcut,
// %O object, %N a number.
inline const QStringList& sentences()
{
    static const QStringList list =
        words("%Kは%Mメニューの「%I」から設定する。|"
              "%Aで%Kを行うときは、先に対象の範囲を選択しておくこと。|"
              "ショートカットキーは%S。覚えておくと作業がずっと速くなる。|"
              "ダイアログボックスの「%I」タブで細かい指定ができる。|"
              "設定を変えたら「OK」をクリックしてダイアログボックスを閉じる。|"
              "うまくいかないときは、一度ファイルを保存してから%Aを起動し直してみる。|"
              "既定の状態に戻すには「%I」で「既定に戻す」を押す。|"
              "手順：１．%Mメニューを開く。２．「%I」を選ぶ。３．必要な項目を入力して「OK」。|"
              "ヘルプの「%K」の項目も参照のこと。|"
              "新しい版では%Mメニューの「%I」に移っている。|"
              "複数の%Oをまとめて処理するときは、マクロの記録を使うと便利。|"
              "%Oの数が%N個を超えると、処理にかなり時間がかかる。|"
              "会社の書式に合わせる場合は、共有のテンプレートから始めること。|"
              "印刷する前に、必ず印刷プレビューで改ページの位置を確かめる。|"
              "%Kの結果が思ったとおりにならないときは、%Oの書式を標準に戻してからやり直す。|"
              "右クリックメニューからも同じ操作ができるが、%Sの方が早い。|"
              "%Nページ以上ある文書では、先に%Kだけを済ませておくと後が楽。|"
              "ツールバーにボタンを追加しておけば、%Kがワンクリックでできる。|"
              "他の人から受け取った%Oでは、%Kが効かないことがある。その場合は「%I」を確認。|"
              "操作を誤ったら、すぐに元に戻す（Ctrl+Z）。|"
              "%Aの古い版で作ったファイルは、互換モードで開かれる点に注意。|"
              "大事なファイルは、作業の前にバックアップを取っておく。|"
              "%Kは%Oごとに設定が必要で、まとめては変えられない。|"
              "画面の表示が乱れたら、%Mメニューから表示を切り替えると直る。|"
              "%Sを押してから、矢印キーで項目を選び、Enterで決定する。|"
              "設定は%Aを終了しても残る。次回の起動時にもそのまま使える。|"
              "数字は半角で入力すること。全角で入れると%Kが正しく働かない。|"
              "詳しくは社内マニュアルの第%N章を参照。");
    return list;
}

inline const QList<Application>& applicationList()
{
    // The common ones first: memo counts fall off down the list.
    static const QList<Application> list = [] {
        const QStringList rows = words(
            "WORD=/opt/msoffice/winword|EXCEL=/opt/msoffice/excel|HLP=/usr/bin/winhlp32|"
            "LibreOffice Calc=/usr/bin/localc|LibreOffice Writer=/usr/bin/lowriter|GIMP=/usr/bin/gimp|"
            "ACCESS=/opt/msoffice/msaccess|POWERPOINT=/opt/msoffice/powerpnt|OUTLOOK=/opt/msoffice/outlook|"
            "一太郎=/opt/justsystem/taro|花子=/opt/justsystem/hanako|Firefox=/usr/bin/firefox|"
            "Thunderbird=/usr/bin/thunderbird|Emacs=/usr/bin/emacs|Vim=/usr/bin/gvim|秀丸=/opt/hidemaru/hidemaru|"
            "Inkscape=/usr/bin/inkscape|LibreOffice Impress=/usr/bin/loimpress|LibreOffice Base=/usr/bin/lobase|"
            "Acrobat=/opt/adobe/acroread|Photoshop=/opt/adobe/photoshop|Illustrator=/opt/adobe/illustrator|"
            "VB=/opt/devstudio/vb6|VC++=/opt/devstudio/msdev|Delphi=/opt/borland/delphi32|"
            "Lotus 1-2-3=/opt/lotus/123w|Notes=/opt/lotus/notes|FileMaker=/opt/filemaker/filemaker|"
            "桐=/opt/kiri/kiri|三四郎=/opt/justsystem/sanshiro|Jw_cad=/opt/jwcad/jw_win|AutoCAD=/opt/autodesk/acad|"
            "Blender=/usr/bin/blender|Krita=/usr/bin/krita|Dia=/usr/bin/dia|Scribus=/usr/bin/scribus|"
            "Visio=/opt/msoffice/visio|Project=/opt/msoffice/winproj|FrontPage=/opt/msoffice/frontpg|"
            "Publisher=/opt/msoffice/mspub|Explorer=/usr/bin/nautilus|MS-DOS=/usr/bin/dosbox|"
            "WinZip=/opt/winzip/winzip32|LHA=/usr/bin/lha|Netscape=/opt/netscape/netscape|"
            "Evolution=/usr/bin/evolution|Kate=/usr/bin/kate|Okular=/usr/bin/okular|"
            "TeX=/usr/bin/platex|Git=/usr/bin/git-gui|KeePass=/usr/bin/keepassxc|PDF=/usr/bin/evince");
        QList<Application> apps;
        int n = 0;
        for (const QString& row : rows) {
            // A few IDs that memos use are not registered: their files open in the help viewer.
            const bool registered = (++n % 13) != 0;
            apps.append({row.section(QLatin1Char('='), 0, 0), row.section(QLatin1Char('='), 1), registered});
        }
        return apps;
    }();
    return list;
}

inline const QStringList& helpFiles()
{
    static const QStringList list = words("WINWORD.HLP|EXCEL.HLP|VBA_WRD.HLP|VBA_XL.HLP|MSACCESS.HLP|POWERPNT.HLP|"
                                          "WINDOWS.HLP|WINHLP32.HLP|TARO.HLP|HANAKO.HLP|NOTES.HLP|VB.HLP|DELPHI.HLP|"
                                          "OUTLOOK.HLP|FRONTPG.HLP|GRAPH.HLP|EQNEDT.HLP|ORGCHART.HLP");
    return list;
}

inline const QStringList& documentFolders()
{
    static const QStringList list = words("文書|マニュアル|社内資料|手順書|メモ|ダウンロード|共有/総務|共有/経理|"
                                          "共有/営業|2019|2020|2021|2022|2023|2024|2025|2026");
    return list;
}

inline const QStringList& documentExtensions()
{
    static const QStringList list = words(".doc|.xls|.odt|.ods|.pdf|.txt|.html|.ppt|.jtd|.xcf|.svg");
    return list;
}

inline void appendDate(QString& out, const QDate& date)
{
    out += QString::number(date.year());
    out += QLatin1Char('/');
    if (date.month() < 10)
        out += QLatin1Char('0');
    out += QString::number(date.month());
    out += QLatin1Char('/');
    if (date.day() < 10)
        out += QLatin1Char('0');
    out += QString::number(date.day());
}

} // namespace detail

// The values memos are made of. Common values come first in each list.
inline const QStringList& keywords()
{
    static const QStringList list = detail::combine(detail::nouns(), detail::keywordEndings());
    return list;
}
inline const QStringList& searchKeys1()
{
    static const QStringList list = detail::combine(detail::key1Topics(), detail::key1Aspects());
    return list;
}
inline const QStringList& searchKeys2()
{
    static const QStringList list = detail::combine(detail::key2Contexts(), detail::key2Aspects());
    return list;
}
inline const QList<Application>& applications()
{
    return detail::applicationList();
}

// Memo number index (0-based; its ID in a generated book is index + 1).
inline Memo memo(qint64 index, quint64 seed = DefaultSeed)
{
    using namespace detail;
    Random random(seed * 0x100000001B3ULL ^ quint64(index) * 0xD6E8FEB86659FD93ULL);
    Memo m;
    // The keyword picks are skewed: the most common keyword is in about 2 % of the memos,
    // the median one in a few hundred per million.
    m.keyword = keywords()[random.skewed(int(keywords().size()), 2.0)];
    m.key1 = random.chance(0.05) ? QString() : searchKeys1()[random.skewed(int(searchKeys1().size()), 1.5)];
    m.key2 = random.chance(0.10) ? QString() : searchKeys2()[random.skewed(int(searchKeys2().size()), 1.5)];
    const Application& app = applications()[random.skewed(int(applications().size()), 2.0)];
    m.appId = app.id;

    static const QDate first(1996, 1, 1);
    static const QDate last(2026, 12, 6);
    const qint64 days = first.daysTo(last) + 1;
    m.date.reserve(10);
    appendDate(m.date, first.addDays(qint64(random.real() * double(days))));

    if (app.id == QLatin1String("HLP")) {
        m.file = QStringLiteral("/home/user/help/") + random.pick(helpFiles());
    } else if (!random.chance(0.25)) {
        m.file = QStringLiteral("/home/user/") + random.pick(documentFolders()) + QLatin1Char('/') + m.keyword +
                 random.pick(documentExtensions());
    }

    // A few hundred characters: 40 to 500, most between 150 and 350.
    const int target = 40 + int((random.real() + random.real() + random.real()) / 3.0 * 460.0);
    m.memo.reserve(target + 80);
    int sentencesInLine = 0;
    while (m.memo.size() < target) {
        const QString& sentence = random.pick(sentences());
        for (qsizetype i = 0; i < sentence.size(); ++i) {
            const QChar c = sentence[i];
            if (c != QLatin1Char('%') || i + 1 == sentence.size()) {
                m.memo += c;
                continue;
            }
            switch (sentence[++i].unicode()) {
            case 'K':
                m.memo += m.keyword;
                break;
            case 'A':
                m.memo += m.appId;
                break;
            case 'M':
                m.memo += random.pick(menus());
                break;
            case 'I':
                m.memo += random.pick(menuItems());
                break;
            case 'S':
                m.memo += random.pick(shortcutKeys());
                break;
            case 'O':
                m.memo += random.pick(objects());
                break;
            case 'N':
                m.memo += QString::number(2 + random.below(98));
                break;
            default:
                m.memo += c;
                m.memo += sentence[i];
            }
        }
        if (++sentencesInLine >= 2 + random.below(3)) {
            m.memo += QLatin1Char('\n');
            sentencesInLine = 0;
        }
    }
    if (m.memo.endsWith(QLatin1Char('\n')))
        m.memo.chop(1);
    return m;
}

struct Outcome
{
    Result result = Result::success();
    qint64 memos = 0;
    int applications = 0;
    double seconds = 0;
    qint64 bytes = 0;
};

// Writes a memo book of `count` memos at path: the memo table with its indexes, the table of
// registered applications, then the memos in one transaction. An existing file is refused
// unless `replace` is set. progress, when given, hears the number written now and then.
inline Outcome generate(const QString& path, qint64 count, bool replace = false, quint64 seed = DefaultSeed,
                        const std::function<void(qint64)>& progress = {})
{
    Outcome outcome;
    QElapsedTimer timer;
    timer.start();
    if (QFileInfo::exists(path)) {
        if (!replace) {
            outcome.result = Result::failure(QStringLiteral("a file exists already at ") + path);
            return outcome;
        }
        for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
            const QString file = path + QLatin1String(suffix);
            if (QFileInfo::exists(file) && !QFile::remove(file)) {
                outcome.result = Result::failure(QStringLiteral("cannot remove ") + file);
                return outcome;
            }
        }
    }
    if (Result made = Schema::createMemoBook(path); !made) {
        outcome.result = made;
        return outcome;
    }
    QString why;
    if (Schema::makePathTable(path, &why) != Schema::PathTableOutcome::Made) {
        outcome.result = Result::failure(QStringLiteral("table パス: ") + why);
        return outcome;
    }

    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        outcome.result = Result::failure(QString::fromUtf8(sqlite3_errmsg(db)));
        sqlite3_close(db);
        return outcome;
    }
    auto run = [db](const char* sql) { return Statement(db, QString::fromUtf8(sql)).exec(); };
    // The seven indexes are filled in key order of the keyword and the other fields, which
    // is random order: a large page cache keeps their pages in memory while they grow.
    Result done = run("PRAGMA cache_size = -524288");
    if (done)
        done = run("BEGIN");
    if (done) {
        Statement app(db, QStringLiteral("INSERT INTO パス (アプリＩＤ, パス) VALUES (?, ?)"));
        for (const Application& a : applications()) {
            if (!a.registered)
                continue;
            app.bindText(1, a.id);
            app.bindText(2, a.path);
            if (done = app.exec(); !done)
                break;
            sqlite3_reset(app.handle());
            ++outcome.applications;
        }
    }
    if (done) {
        Statement insert(db, QStringLiteral("INSERT INTO メモ帳 (日付, ヘルプファイル, ｷｰﾜｰﾄﾞ, 検索キー１, 検索キー２, "
                                            "予備１, メモ) VALUES (?, ?, ?, ?, ?, ?, ?)"));
        done = insert.prepared();
        for (qint64 i = 0; done && i < count; ++i) {
            const Memo m = memo(i, seed);
            insert.bindText(1, m.date);
            insert.bindText(2, m.file);
            insert.bindText(3, m.keyword);
            insert.bindText(4, m.key1);
            insert.bindText(5, m.key2);
            insert.bindText(6, m.appId);
            insert.bindText(7, m.memo);
            done = insert.exec();
            sqlite3_reset(insert.handle());
            ++outcome.memos;
            if (progress && outcome.memos % 50000 == 0)
                progress(outcome.memos);
        }
    }
    if (done)
        done = run("COMMIT");
    else if (Result undone = run("ROLLBACK"); !undone)
        std::fprintf(stderr, "rollback: %s\n", qPrintable(undone.message));
    sqlite3_close(db);
    outcome.result = done;
    outcome.seconds = double(timer.nsecsElapsed()) / 1e9;
    outcome.bytes = QFileInfo(path).size();
    return outcome;
}

// The number of memos of an existing book (its highest ID), or -1 when it cannot be read.
inline qint64 memoCount(const QString& path)
{
    sqlite3* db = nullptr;
    qint64 count = -1;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        Statement max(db, QStringLiteral("SELECT count(*) FROM メモ帳"));
        if (max.step() == Statement::Step::Row)
            count = max.int64(0);
    }
    sqlite3_close(db);
    return count;
}

} // namespace MemoBookGenerator
