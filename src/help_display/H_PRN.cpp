#include "help_display/H_PRN.h"

#include "core/BackgroundTask.h"
#include "core/Log.h"
#include "core/TextFold.h"
#include "db/Catalogue.h"
#include "db/MemoSearch.h"
#include "db/RecordSet.h"
#include "db/index/MemoIndex.h"
#include "forms/Binding.h"
#include "forms/CommandRow.h"
#include "forms/DataGrid.h"
#include "forms/Lists.h"
#include "forms/Messages.h"
#include "forms/OPEN_MEMO_FILE.h"
#include "forms/Session.h"
#include "help_display/ResultActions.h"
#include "help_registration/H_WRITE.h"
#include "platform/DateForms.h"
#include "widgets/Accessibility.h"
#include "widgets/Appearance.h"
#include "widgets/ComboBox.h"
#include "widgets/Controls.h"
#include "widgets/MemoBox.h"
#include "widgets/TextBox.h"
#include "widgets/Twips.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>

#include <iterator>

namespace {

const QString Connect = QStringLiteral(";PWD=");
// What the list holds when no search is in force, for the printed list.
const QString AllMemosShown = QStringLiteral("すべてのメモ");

// Widths in pixels, so that all six columns fit; the last column takes what is left.
const int GridWidths[] = {30, 70, 92, 66, 66};

// The buttons of the window are all of one size.
QPushButton* button(QWidget* parent, const QString& name, const QString& caption, int left, int top)
{
    return Controls::button(parent, name, caption, left, top, 1332, 252);
}

QString indexed(const char* name, int index)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

} // namespace

H_PRN::H_PRN(Session& session)
    : SingleForm(QStringLiteral("H_PRN"), QStringLiteral("ヘルプ表示／修正"), 6984, 6624), m_session(session),
      Data1(new RecordSet(QStringLiteral("Data1"), this)), Data2(new RecordSet(QStringLiteral("Data2"), this)),
      Data3(new RecordSet(QStringLiteral("Data3"), this)), Data4(new RecordSet(QStringLiteral("Data4"), this)),
      Data5(new RecordSet(QStringLiteral("Data5"), this))
{
    // The window only reads: corrections are made in the entry window.
    for (RecordSet* recordSet : {Data1, Data2, Data3, Data4, Data5})
        recordSet->setReadOnly(true);
    createControls();
    bindControls();
    connectHandlers();
    setFocusOrder();
}

void H_PRN::createControls()
{
    QWidget* c = client();
    // Buttons keep their captions readable at their small heights.
    c->setStyleSheet(QStringLiteral("QPushButton { padding: 0px 1px; }"));

    QLabel* label3 = Controls::label(c, QStringLiteral("Label3"), QStringLiteral("ｷｰﾜｰﾄﾞ"), 120, 120, 1212, 252);
    DBCombo1 = Controls::create<ComboBox>(c, QStringLiteral("DBCombo1"), 1320, 120, 4932, 276);
    QLabel* label4 = Controls::label(c, QStringLiteral("Label4"), QStringLiteral("検索キー１"), 120, 480, 1212, 252);
    DBCombo4 = Controls::create<ComboBox>(c, QStringLiteral("DBCombo4"), 1320, 480, 3852, 276);
    QLabel* label5 = Controls::label(c, QStringLiteral("Label5"), QStringLiteral("検索キー２"), 120, 840, 1212, 252);
    DBCombo2 = Controls::create<ComboBox>(c, QStringLiteral("DBCombo2"), 1320, 840, 3852, 276);
    for (const auto& [field, caption] : {std::pair{DBCombo1, label3}, {DBCombo4, label4}, {DBCombo2, label5}})
        Controls::nameField(field, caption->text(), caption);

    DBGrid1 = Controls::create<DataGrid>(c, QStringLiteral("DBGrid1"), 120, 1200, 6732, 1452);
    DBGrid1->setRecordSet(Data1, ResultActions::Columns, false);
    QHeaderView* rows = DBGrid1->verticalHeader();
    const int rowHeight = DBGrid1->fontMetrics().height() + 2;
    rows->setMinimumSectionSize(rowHeight);
    rows->setDefaultSectionSize(rowHeight);
    QHeaderView* columns = DBGrid1->horizontalHeader();
    // The default minimum follows the font's widest glyph, too wide to let the last
    // column shrink to what is left.
    columns->setMinimumSectionSize(20);
    for (int column = 0; column < int(std::size(GridWidths)); ++column)
        columns->resizeSection(column, GridWidths[column]);
    columns->setSectionResizeMode(int(std::size(GridWidths)), QHeaderView::Stretch);
    DBGrid1->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // A vertical scroll bar that comes and goes would make the columns overflow by its width.
    DBGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Controls::nameField(DBGrid1, QStringLiteral("検索結果"));

    Label1 = Controls::label(c, QStringLiteral("Label1"), QStringLiteral("検　索　結　果"), 120, 2760, 1692, 252);
    Label1->setFont(Appearance::gothic(12));
    Command5 = button(c, QStringLiteral("Command5"), QStringLiteral("全データ表示"), 2640, 2760);
    Command1 = button(c, QStringLiteral("Command1"), QStringLiteral("検索開始"), 4080, 2760);
    Command8 = button(c, QStringLiteral("Command8"), QStringLiteral("ファイル表示"), 5520, 2760);

    SSTab1 = Controls::create<QTabWidget>(c, QStringLiteral("SSTab1"), 120, 3120, 6732, 3012);
    // The pages are reached by clicking their tabs; Tab moves between the page's boxes.
    SSTab1->tabBar()->setFocusPolicy(Qt::ClickFocus);
    for (int i = 0; i < Pages; ++i)
        createPage(i);
    SSTab1->setCurrentIndex(0);

    Command2 = button(c, QStringLiteral("Command2"), QStringLiteral("ヘルプ修正"), 2640, 6240);
    Command4 = button(c, QStringLiteral("Command4"), QStringLiteral("ヘルプ"), 4080, 6240);
    Command3 = button(c, QStringLiteral("Command3"), QStringLiteral("終了"), 5520, 6240);

    // Values of the current memo and of the application found for it, for the file command.
    Text5 = Controls::create<TextBox>(c, QStringLiteral("Text5"), 0, 0, 1200, 264);
    Text6 = Controls::create<TextBox>(c, QStringLiteral("Text6"), 0, 0, 1200, 264);
    Text7 = Controls::create<TextBox>(c, QStringLiteral("Text7"), 0, 0, 1200, 264);
    Text8 = Controls::create<TextBox>(c, QStringLiteral("Text8"), 0, 0, 1200, 264);
    Text9 = Controls::create<TextBox>(c, QStringLiteral("Text9"), 0, 0, 1200, 264);
    for (TextBox* hidden : {Text5, Text6, Text7, Text8, Text9}) {
        hidden->setReadOnly(true);
        hidden->hide();
    }

    // How far the full-text index is while it is being made, left of the bottom buttons.
    m_indexProgress = Controls::create<QLabel>(c, QStringLiteral("IndexProgress"), 120, 6240, 2412, 252);
    m_indexProgress->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_actions = new ResultActions(this, Data1, DBGrid1, SSTab1, QString(),
                                  [this](const QString& words) { return fullTextSearch(words); });
    // A page shows the current memo, or the one it keeps.
    m_actions->setShownMemo([this]() -> std::optional<ResultPrint::Memo> {
        const int page = qMax(0, SSTab1->currentIndex());
        if (Check1[page]->isChecked())
            return m_kept[page];
        return currentMemo();
    });
    m_actions->setSearchShown([this] { return m_searchShown; });
    connect(Data1, &RecordSet::currentChanged, m_actions, &ResultActions::updateMemoCommands);
    connect(SSTab1, &QTabWidget::currentChanged, m_actions, &ResultActions::updateMemoCommands);
    for (QCheckBox* keepBox : Check1)
        connect(keepBox, &QCheckBox::toggled, m_actions, &ResultActions::updateMemoCommands);
}

void H_PRN::createPage(int i)
{
    auto* page = new QWidget;
    page->setObjectName(indexed("Page", i));
    Accessibility::offerShownOnly(page);
    SSTab1->addTab(page, QString::number(i));

    Text4[i] = Controls::create<TextBox>(page, indexed("Text4", i), 120, 60, 1932, 264);
    Text3[i] = Controls::create<TextBox>(page, indexed("Text3", i), 2160, 60, 3612, 264);
    Check1[i] = Controls::create<QCheckBox>(page, indexed("Check1", i), 5880, 66, 732, 252);
    Check1[i]->setText(QStringLiteral("保存"));
    Text1[i + 1] = Controls::create<MemoBox>(page, indexed("Text1", i + 1), 120, 420, 6252, 2600);
    Text2[i] = Controls::create<TextBox>(page, indexed("Text2", i), 120, 60, 1932, 264);
    Text2[i]->hide();

    // What is typed here would never be stored, so nothing can be typed.
    for (TextBox* box : {Text2[i], Text3[i], Text4[i]}) {
        box->setReadOnly(true);
        box->setFocusPolicy(Qt::ClickFocus);
    }
    Text1[i + 1]->setReadOnly(true);
    // A reader that comes to a box by Ctrl+Tab says which page it is on.
    const QString onPage = QStringLiteral("（ページ %1）").arg(i);
    Controls::nameField(Text4[i], QStringLiteral("日付") + onPage);
    Controls::nameField(Text3[i], QStringLiteral("ｷｰﾜｰﾄﾞ") + onPage);
    Controls::nameField(Text1[i + 1], QStringLiteral("メモ") + onPage);
    nameTab(i, QString());

    // The memo box fills the page below the first row.
    const int pageHeight = SSTab1->height() - SSTab1->tabBar()->sizeHint().height() - 4;
    const int memoTop = Twips::toPixels(420);
    const int memoHeight = qMin(Twips::toPixels(2600), pageHeight - memoTop - Twips::toPixels(60));
    Text1[i + 1]->setGeometry(Twips::toPixels(120), memoTop, Twips::toPixels(6252), memoHeight);
}

void H_PRN::bindControls()
{
    new ListBinding(Data2, QStringLiteral("ｷｰﾜｰﾄﾞ"), DBCombo1);
    new Binding(Data2, QStringLiteral("ｷｰﾜｰﾄﾞ"), DBCombo1);
    new ListBinding(Data3, QStringLiteral("検索キー１"), DBCombo4);
    new Binding(Data3, QStringLiteral("検索キー１"), DBCombo4);
    new ListBinding(Data4, QStringLiteral("検索キー２"), DBCombo2);
    new Binding(Data4, QStringLiteral("検索キー２"), DBCombo2);

    for (int i = 0; i < Pages; ++i) {
        m_pageBindings[i].memo = new Binding(Data1, QStringLiteral("メモ"), Text1[i + 1]);
        m_pageBindings[i].date = new Binding(Data1, QStringLiteral("日付"), Text2[i]);
        m_pageBindings[i].keyword = new Binding(Data1, QStringLiteral("ｷｰﾜｰﾄﾞ"), Text3[i]);
    }
    bindFields(Data1, "ｷｰﾜｰﾄﾞ", Text5, "ヘルプファイル", Text6, "予備１", Text7);
    bindFields(Data5, "パス", Text8, "アプリＩＤ", Text9);
}

void H_PRN::connectHandlers()
{
    connect(Command1, &QPushButton::clicked, this, &H_PRN::search);
    // Enter in a search box searches, as 検索開始 does; Enter that takes a pick only picks.
    for (ComboBox* box : {DBCombo1, DBCombo4, DBCombo2})
        connect(box->lineEdit(), &QLineEdit::returnPressed, this, &H_PRN::search);
    connect(Command5, &QPushButton::clicked, this, &H_PRN::showAll);
    connect(DBGrid1, &DataGrid::headerClicked, this, &H_PRN::sortBy);
    connect(Command8, &QPushButton::clicked, this, &H_PRN::openMemoFile);
    connect(Command2, &QPushButton::clicked, this, &H_PRN::correct);
    connect(Command4, &QPushButton::clicked, this, [] { CommandRow::help(); });
    connect(Command3, &QPushButton::clicked, this, &H_PRN::unload);
    for (int i = 0; i < Pages; ++i) {
        connect(Check1[i], &QCheckBox::clicked, this, [this, i](bool checked) { keep(i, checked); });
        connect(Text2[i], &TextBox::changed, this, [this, i] { showLongDate(i); });
    }
}

void H_PRN::setFocusOrder()
{
    // Only the page in front can take the focus, so its memo box and keep box follow
    // Command8 whichever page it is.
    QList<QWidget*> order = {DBCombo1, DBCombo4, DBCombo2, DBGrid1, Command5, Command1, Command8};
    for (int i = 0; i < Pages; ++i)
        order << Text1[i + 1] << Check1[i];
    order << Command2 << Command4 << Command3;
    Controls::applyTabOrder(order);
}

Result H_PRN::onLoad()
{
    FirstActivation = 1;
    for (RecordSet* recordSet : {Data1, Data2, Data3, Data4, Data5})
        recordSet->setConnectText(Connect);
    placeAt(1000, 100);
    for (RecordSet* recordSet : {Data5, Data4, Data3, Data2, Data1})
        recordSet->setDatabaseName(m_session.DbPath);
    SearchSql.clear();
    m_fullText.reset();
    m_searchShown = AllMemosShown;
    // The whole memo table, run when the window first shows.
    Data1->setRecordSource(Catalogue::MemoTableName);
    const Result lists = runLists();

    m_index = MemoIndex::open(m_session.DbPath);
    m_actions->setBookPath(m_session.DbPath);
    connect(m_index.get(), &MemoIndex::progressChanged, this, &H_PRN::showIndexProgress);
    // An index that takes over answers a search still reading the book at once.
    connect(m_index.get(), &MemoIndex::stateChanged, this, [this] {
        if (!m_pendingSearch || !m_index->answersAtOnce(TextFold::words(m_pendingTyped)))
            return;
        const QString typed = m_pendingTyped;
        dropPendingSearch();
        showFullTextResult(typed);
        m_actions->searchAnswered();
    });
    showIndexProgress();
    return lists;
}

void H_PRN::showIndexProgress()
{
    const QString text = m_index ? m_index->progressText() : QString();
    m_indexProgress->setText(m_pendingSearch ? text + QStringLiteral("　検索中…") : text);
    m_actions->setIndexStatus(text);
}

bool H_PRN::fullTextSearch(const QString& typed)
{
    // Blanks alone are no words: nothing runs, as with empty search fields.
    const QStringList words = TextFold::words(typed);
    if (words.isEmpty())
        return true;
    dropPendingSearch();
    if (!m_index || m_index->answersAtOnce(words)) {
        showFullTextResult(typed);
        return true;
    }
    // Reading a large book takes seconds: the window stays usable, says that the index is being
    // made, and shows the memos once they have been read.
    readBookForSearch(typed, 3);
    return false;
}

void H_PRN::readBookForSearch(const QString& typed, int attempts)
{
    const QStringList words = TextFold::words(typed);
    m_pendingTyped = typed;
    m_pendingSearch = m_index->readBookFor(this, words, [this, typed, words, attempts] {
        m_pendingSearch = nullptr;
        m_pendingTyped.clear();
        // Another program that changed the book meanwhile makes the reading worthless.
        if (m_index && !m_index->answersAtOnce(words) && attempts > 1) {
            readBookForSearch(typed, attempts - 1);
            return;
        }
        showFullTextResult(typed);
        showIndexProgress();
        m_actions->searchAnswered();
    });
    showIndexProgress();
}

void H_PRN::showFullTextResult(const QString& typed)
{
    const QString search = Catalogue::searchStatement(MemoSearch::condition(typed));
    runResult(search, Catalogue::orderedSearch(search), "full-text search",
              QStringLiteral("全文検索「%1」").arg(typed.simplified()), FullTextQuery{TextFold::words(typed)});
}

void H_PRN::dropPendingSearch()
{
    if (m_pendingSearch)
        m_pendingSearch->requestStop();
    m_pendingSearch = nullptr;
    m_pendingTyped.clear();
    showIndexProgress();
}

Result H_PRN::runLists()
{
    const Result ran = Lists::run({{Data2, Catalogue::KeywordList},
                                   {Data3, Catalogue::SearchKey1List},
                                   {Data4, Catalogue::SearchKey2List},
                                   {Data5, Catalogue::AllApplications}},
                                  Lists::OnFailure::SkipAndGoOn);
    skipOnFailure(ran, lcForms(), "the display window's lists");
    return ran;
}

void H_PRN::runResult(const QString& searchSql, const QString& statement, const char* what, const QString& shown,
                      const std::optional<FullTextQuery>& fullText)
{
    const QString shownSearch = SearchSql;
    const QString shownStatement = Data1->recordSource();
    const std::optional<FullTextQuery> shownQuery = Data1->fullTextQuery();
    const std::optional<FullTextQuery> shownFullText = m_fullText;
    const QString shownWords = m_searchShown;
    SearchSql = searchSql;
    m_searchShown = shown;
    // The search in force is its words; a sort adds its field to them.
    m_fullText = fullText;
    if (m_fullText)
        m_fullText->sortField.clear();
    Data1->setRecordSource(statement, fullText);
    const Result ran = Data1->refresh();
    // The window shows no message of its own: a failing statement leaves the grid as it was.
    skipOnFailure(ran, lcForms(), what);
    // But a memo book held by another program would leave the old rows looking like the answer:
    // the user is told, and the search in force stays the one that the grid shows.
    if (ran.cause == Result::Cause::Busy) {
        SearchSql = shownSearch;
        m_searchShown = shownWords;
        m_fullText = shownFullText;
        Data1->setRecordSource(shownStatement, shownQuery);
        Messages::warn(Messages::InUse);
    }
}

void H_PRN::onActivate()
{
    // Each step that fails is skipped. The statement in force runs again, so that what the
    // entry window stored meanwhile shows.
    const Result result = Data1->refresh();
    skipOnFailure(result, lcForms(), "re-running the display window's result");

    // Re-running a list shows its first value in the combo box bound to it; the texts the
    // user typed stay instead.
    const bool first = FirstActivation == 1;
    const QString keyword = DBCombo1->text();
    const QString key1 = DBCombo4->text();
    const QString key2 = DBCombo2->text();
    const Result lists = runLists();

    if (first) {
        FirstActivation = 0;
        DBCombo1->setText(QString());
        DBCombo4->setText(QString());
        DBCombo2->setText(QString());
    } else {
        DBCombo1->setText(keyword);
        DBCombo4->setText(key1);
        DBCombo2->setText(key2);
    }
    // Rows that could not be read again because another program holds the memo book would
    // pass for what is stored now.
    if (result.cause == Result::Cause::Busy || lists.cause == Result::Cause::Busy)
        Messages::warn(Messages::InUse);
}

void H_PRN::search()
{
    // The texts count as they are shown: a single blank is a value to look for.
    const QString condition = Catalogue::searchCondition(DBCombo1->text(), DBCombo4->text(), DBCombo2->text());
    if (condition.isEmpty())
        return;
    // In words, for the printed list: the texts as they were searched for.
    QStringList words;
    for (const auto& [caption, box] :
         {std::pair{"ｷｰﾜｰﾄﾞ", DBCombo1}, {"検索キー１", DBCombo4}, {"検索キー２", DBCombo2}}) {
        if (!box->text().isEmpty())
            words.append(QString::fromUtf8(caption) + QStringLiteral("「") + box->text() + QStringLiteral("」"));
    }
    const QString search = Catalogue::searchStatement(condition);
    dropPendingSearch();
    runResult(search, Catalogue::orderedSearch(search), "search", words.join(QStringLiteral("、")));
}

void H_PRN::showAll()
{
    dropPendingSearch();
    runResult(QString(), Catalogue::AllMemos, "show all", AllMemosShown);
}

void H_PRN::sortBy(const QString& field)
{
    if (field.isEmpty())
        return;
    const QString searched = m_searchShown.section(QStringLiteral("（"), 0, 0);
    dropPendingSearch();
    std::optional<FullTextQuery> sorted = m_fullText;
    if (sorted)
        sorted->sortField = field;
    runResult(SearchSql, Catalogue::sortStatement(SearchSql, field), "sort",
              searched + QStringLiteral("（%1の順）").arg(field), sorted);
}

std::optional<ResultPrint::Memo> H_PRN::currentMemo() const
{
    if (!Data1->hasCurrent())
        return std::nullopt;
    auto field = [this](const char* name) { return Binding::displayText(Data1->field(QString::fromUtf8(name))); };
    return ResultPrint::Memo{field("ID"),
                             DateForms::instance().formatLongDate(field("日付")),
                             field("ｷｰﾜｰﾄﾞ"),
                             field("検索キー１"),
                             field("検索キー２"),
                             field("予備１"),
                             field("ヘルプファイル"),
                             field("メモ")};
}

void H_PRN::keep(int page, bool kept)
{
    // Rebinding shows the current memo at once. A page that keeps its memo keeps all of it, for
    // printing.
    const PageBindings& b = m_pageBindings[page];
    for (Binding* binding : {b.memo, b.date, b.keyword})
        binding->setBound(!kept);
    m_kept[page] = kept ? currentMemo() : std::nullopt;
    const QString id = Data1->hasCurrent() ? Data1->field(0).toString() : QString();
    nameTab(page, !kept          ? QString()
                  : id.isEmpty() ? QStringLiteral("保存中")
                                 : QStringLiteral("保存中：ID %1 %2").arg(id, Text3[page]->text()));
}

void H_PRN::nameTab(int page, const QString& kept)
{
    // The tabs' captions are the page numbers; a reader is told what each page is.
    const QString name = QStringLiteral("ページ %1").arg(page);
    SSTab1->tabBar()->setAccessibleTabName(
        page, kept.isEmpty() ? name : name + QStringLiteral("（") + kept + QStringLiteral("）"));
}

void H_PRN::showLongDate(int page)
{
    Text4[page]->setText(DateForms::instance().formatLongDate(Text2[page]->text()));
}

void H_PRN::openMemoFile()
{
    OPEN_MEMO_FILE(Text7->text(), Text6->text(), Text5->text(), *Data5, *Text8, *Text9, true);
}

void H_PRN::correct()
{
    // With no memo found there is nothing to hand over.
    if (!Data1->hasCurrent())
        return;
    bool ok = false;
    const qint64 id = Data1->field(0).toLongLong(&ok);
    if (!ok)
        return;
    m_session.EditMemoId = id;
    // An open entry window shows the memo chosen here, not the one it was opened on.
    if (H_WRITE* open = H_WRITE::ifLoaded(); open && !open->showHandedOverMemo())
        return;
    Windows::open<H_WRITE>(m_session);
}

bool H_PRN::confirmClose()
{
    // The entry window closes with this one; when it keeps typing it could not store, both stay.
    return H_WRITE::unloadIfLoaded();
}

void H_PRN::onUnload()
{
    m_session.EditMemoId = 0;
    dropPendingSearch();
    if (m_index)
        disconnect(m_index.get(), nullptr, this, nullptr);
    m_index.reset();
}
