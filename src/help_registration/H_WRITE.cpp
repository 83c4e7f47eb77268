#include "help_registration/H_WRITE.h"

#include "core/Log.h"
#include "db/Catalogue.h"
#include "db/RecordSet.h"
#include "forms/Binding.h"
#include "forms/Lists.h"
#include "forms/Messages.h"
#include "forms/OPEN_MEMO_FILE.h"
#include "forms/Session.h"
#include "forms/StoreFailure.h"
#include "platform/DateForms.h"
#include "platform/FileDialog.h"
#include "widgets/Appearance.h"
#include "widgets/ComboBox.h"
#include "widgets/Controls.h"
#include "widgets/MemoBox.h"
#include "widgets/TextBox.h"
#include "widgets/Twips.h"

#include <QAbstractButton>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleOption>
#include <QToolButton>

#include <type_traits>
#include <utility>
#include <vector>

namespace {

const QString FileDialogTitle = QStringLiteral("ヘルプファイルを登録して下さい");
const QString FileDialogFilter =
    QStringLiteral("全ファイル(*.*)|*.*|(*.DOC)|*.DOC|(*.XLS)|*.XLS|(*.MDB)|*.MDB|(*.HLP)|*.HLP|");
const QString FileDialogInitialName = QStringLiteral("Name");

// The entry fields start here; the captions to their left may use the room up to them.
constexpr int FieldsLeft = 1080;

// A caption left of the entry fields may take the room up to them.
QLabel* label(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width, int height)
{
    return Controls::label(parent, name, caption, left, top, width, height, left < FieldsLeft ? FieldsLeft : 0);
}

// A one-line entry field in the given style, which shapes its geometry and so comes first.
template <class T>
T* field(QWidget* parent, QStyle* style, const QString& name, int left, int top, int width, int height)
{
    auto* f = new T(parent);
    f->setObjectName(name);
    f->setStyle(style);
    QLineEdit* edit = nullptr;
    if constexpr (std::is_same_v<T, ComboBox>)
        edit = f->lineEdit();
    else
        edit = f;
    edit->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    Twips::place(f, left, top, width, height);
    return f;
}

// The entry fields are one line of text high. The style's frames would leave the text too
// little room at that height and cut off descenders, so the text may use all but the outer
// line of the frame. The text sits on the bottom of that room: the CJK fonts' line height
// has much room above the letters and little below.
class FieldStyle : public QProxyStyle
{
public:
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget) const override
    {
        QRect r = QProxyStyle::subControlRect(control, option, sub, widget);
        if (control == CC_ComboBox && sub == SC_ComboBoxEditField) {
            r.setTop(option->rect.top() + 1);
            r.setBottom(option->rect.bottom() - 1);
        }
        return r;
    }

    QRect subElementRect(SubElement element, const QStyleOption* option, const QWidget* widget) const override
    {
        const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
        if (element == SE_LineEditContents && frame && frame->lineWidth > 0)
            return option->rect.adjusted(2, 1, -2, -1);
        return QProxyStyle::subElementRect(element, option, widget);
    }
};

// Whether a focus gain is the user or the program moving into a box: by mouse, Tab, a
// shortcut or code. The focus that comes back with the window (from another application,
// the help viewer or a message box) and after a context menu returns to where it was: that
// is no entering. Coming from another window of the program is, but there the window's
// activation puts the focus into the memo box by code.
bool entersBox(Qt::FocusReason reason)
{
    switch (reason) {
    case Qt::MouseFocusReason:
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
    case Qt::OtherFocusReason:
        return true;
    default:
        return false;
    }
}

} // namespace

H_WRITE::H_WRITE(Session& session)
    : SingleForm(QStringLiteral("H_WRITE"), QStringLiteral("ヘルプ登録"), 6372, 5856), m_session(session),
      Data1(new RecordSet(QStringLiteral("Data1"), this)), Data2(new RecordSet(QStringLiteral("Data2"), this)),
      Data3(new RecordSet(QStringLiteral("Data3"), this)), Data4(new RecordSet(QStringLiteral("Data4"), this)),
      Data5(new RecordSet(QStringLiteral("Data5"), this)), Data6(new RecordSet(QStringLiteral("Data6"), this)),
      m_commands(Data1, [this] { SQL_SET(); })
{
    // The lists and the lookup of registered applications only read.
    for (RecordSet* list : {Data2, Data3, Data4, Data5, Data6})
        list->setReadOnly(true);
    createControls();
    bindControls();
    connectHandlers();
}

H_WRITE::~H_WRITE()
{
    // A window destroyed without being closed (the program ending under it) still keeps
    // what was typed, if the engine takes it.
    if (!isUnloaded())
        skipOnFailure(Data1->updateRecord(), lcForms(), "storing the entry window's edits at exit");
}

void H_WRITE::createControls()
{
    QWidget* c = client();
    std::vector<Controls::TabStop> tabStops;
    auto* fieldStyle = new FieldStyle;
    fieldStyle->setParent(this);
    // Each control takes its place in the tab order by its tab index.
    auto tab = [&tabStops](int index, auto* control) {
        tabStops.push_back({index, control});
        return control;
    };

    label(c, QStringLiteral("Label2(0)"), QStringLiteral("ID"), 120, 120, 732, 252);
    Label1 = label(c, QStringLiteral("Label1"), QString(), 1080, 120, 1452, 252);
    Label1->setAutoFillBackground(true);
    QPalette white = Label1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Label1->setPalette(white);

    Text1 = tab(24, Controls::create<TextBox>(c, QStringLiteral("Text1"), 3120, 0, 2292, 264));
    Text1->hide();

    label(c, QStringLiteral("Label2(1)"), QStringLiteral("日付"), 120, 480, 732, 252);
    Text3 = tab(25, field<TextBox>(c, fieldStyle, QStringLiteral("Text3"), 1080, 480, 2412, 264));
    tab(12, Controls::button(c, QStringLiteral("Command2"), QStringLiteral("設定ファイル表示"), 4320, 480, 1932, 252));

    label(c, QStringLiteral("Label3"), QStringLiteral("表示ﾌｧｲﾙ"), 120, 840, 972, 252);
    Text4 = tab(7, field<TextBox>(c, fieldStyle, QStringLiteral("Text4"), 1080, 840, 4332, 264));
    tab(13, Controls::button(c, QStringLiteral("Command12"), QStringLiteral("設定"), 5520, 840, 732, 264));

    label(c, QStringLiteral("Label2(2)"), QStringLiteral("ｷｰﾜｰﾄﾞ"), 120, 1200, 732, 252);
    DBCombo1 = tab(8, field<ComboBox>(c, fieldStyle, QStringLiteral("DBCombo1"), 1080, 1200, 5172, 276));

    label(c, QStringLiteral("Label2(3)"), QStringLiteral("検索キー１"), 120, 1560, 972, 252);
    DBCombo4 = tab(9, field<ComboBox>(c, fieldStyle, QStringLiteral("DBCombo4"), 1080, 1560, 3852, 276));

    label(c, QStringLiteral("Label2(4)"), QStringLiteral("検索キー２"), 120, 1920, 972, 252);
    DBCombo2 = tab(10, field<ComboBox>(c, fieldStyle, QStringLiteral("DBCombo2"), 1080, 1920, 3852, 276));
    tab(14, Controls::button(c, QStringLiteral("Command1"), QStringLiteral("ヘルプ"), 5520, 1920, 732, 276));

    label(c, QStringLiteral("Label4"), QStringLiteral("アプリＩＤ"), 120, 2280, 732, 252);
    DBCombo7 = tab(28, field<ComboBox>(c, fieldStyle, QStringLiteral("DBCombo7"), 1080, 2280, 2532, 276));
    DBCombo3 = tab(32, field<ComboBox>(c, fieldStyle, QStringLiteral("DBCombo3"), 3720, 2280, 2532, 276));
    DBCombo3->setToolTip(QStringLiteral("アプリケーション登録で登録して下さい。"));

    label(c, QStringLiteral("Label2(5)"), QStringLiteral("メモ"), 120, 2640, 732, 252);
    tab(31, Controls::button(c, QStringLiteral("Command13"), QStringLiteral("アプリケーション登録"), 4320, 2640, 1932,
                             252));

    Text2 = tab(11, Controls::create<MemoBox>(c, QStringLiteral("Text2"), 120, 2880, 6132, 2172));

    Text8 = tab(30, Controls::create<TextBox>(c, QStringLiteral("Text8"), 240, 3240, 5412, 264));
    Text8->hide();
    Text9 = tab(29, Controls::create<TextBox>(c, QStringLiteral("Text9"), 240, 3600, 1212, 264));
    Text9->hide();

    const std::array<QToolButton*, 4> navigation =
        Controls::navigationRow(c, {"Command3", "Command4", "Command5", "Command6"}, 120, 5160);
    const std::array<QPushButton*, 4> commands = Controls::commandRow(c, {2640, 3240, 3840, 4440}, 5160);
    for (int i = 0; i < 4; ++i) {
        tabStops.push_back({15 + i, navigation[i]});
        tabStops.push_back({19 + i, commands[i]});
    }
    QPushButton* command11 =
        Controls::button(c, QStringLiteral("Command11"), QStringLiteral("終了"), 5520, 5160, 732, 612);
    tabStops.push_back({23, command11});

    Controls::applyTabOrder(std::move(tabStops));

    // Each field is named by the caption beside it; the list of registered IDs has none.
    const std::pair<QWidget*, const char*> captioned[] = {
        {Label1, "Label2(0)"},   {Text3, "Label2(1)"},    {Text4, "Label3"},    {DBCombo1, "Label2(2)"},
        {DBCombo4, "Label2(3)"}, {DBCombo2, "Label2(4)"}, {DBCombo7, "Label4"}, {Text2, "Label2(5)"}};
    for (const auto& [field, captionName] : captioned) {
        auto* caption = c->findChild<QLabel*>(QString::fromUtf8(captionName));
        Controls::nameField(field, caption->text(), caption);
    }
    Controls::nameField(DBCombo3, QStringLiteral("登録済みのアプリＩＤ"));
}

void H_WRITE::bindControls()
{
    bindFields(Data1, "ID", Label1, "日付", Text1, "ヘルプファイル", Text4, "ｷｰﾜｰﾄﾞ", DBCombo1, "検索キー１", DBCombo4,
               "検索キー２", DBCombo2, "予備１", DBCombo7, "メモ", Text2);

    new ListBinding(Data2, QStringLiteral("ｷｰﾜｰﾄﾞ"), DBCombo1);
    new ListBinding(Data3, QStringLiteral("検索キー１"), DBCombo4);
    new ListBinding(Data4, QStringLiteral("検索キー２"), DBCombo2);
    new ListBinding(Data5, QStringLiteral("アプリＩＤ"), DBCombo3);
    new ListBinding(Data6, QStringLiteral("予備１"), DBCombo7);

    bindFields(Data5, "パス", Text8, "アプリＩＤ", Text9);
}

void H_WRITE::connectHandlers()
{
    m_commands.connectButtons(client(),
                              {"Command3", "Command4", "Command5", "Command6", "Command7", "Command8", "Command10"});
    onClicked("Command9", [this] {
        ADD_RECORD();
        SQL_SET();
    });
    onClicked("Command11", [this] { unload(); });
    onClicked("Command1", [] { CommandRow::help(); });
    onClicked("Command2", [this] { openMemoFile(); });
    onClicked("Command12", [this] { chooseMemoFile(); });
    // The memo's application ID from the registered ones.
    onClicked("Command13", [this] { DBCombo7->setText(DBCombo3->text()); });

    // The date box shows the date field in the long form, except while an add writes
    // today's date into both.
    connect(Text1, &TextBox::changed, this, [this] {
        if (AddInProgress != 1)
            Text3->setText(DateForms::instance().formatLongDate(Text1->text()));
    });
    connect(Text3, &TextBox::changed, this, [this] { AddInProgress = 0; });

    Text2->installEventFilter(this);
    Text3->installEventFilter(this);
}

Result H_WRITE::onLoad()
{
    placeAt(1000, 100);
    for (RecordSet* r : {Data6, Data5, Data4, Data3, Data2, Data1})
        r->setDatabaseName(m_session.DbPath);
    Data1->setRecordSource(m_session.EditMemoId > 0 ? Catalogue::memoById(m_session.EditMemoId)
                                                    : Catalogue::AllMemosForEntry);
    if (Result r = Data1->refresh(); !r) {
        skipOnFailure(r, lcForms(), "the entry window's load");
        return r;
    }
    // As SQL_SET does, except that the load ends at the first list that fails.
    const Result lists = runLists(Lists::OnFailure::Stop);
    skipOnFailure(lists, lcForms(), "the entry window's load");
    return lists;
}

Result H_WRITE::runLists(Lists::OnFailure policy)
{
    return Lists::run({{Data2, Catalogue::KeywordList},
                       {Data3, Catalogue::SearchKey1List},
                       {Data4, Catalogue::SearchKey2List},
                       {Data5, Catalogue::AllApplications},
                       {Data6, Catalogue::MemoAppIdList}},
                      policy);
}

bool H_WRITE::showHandedOverMemo()
{
    if (Result written = Data1->updateRecord();
        !written && StoreFailure::resolve(*Data1, written, Messages::SaveFailure) != StoreFailure::Outcome::Stored)
        return false;
    const QString shown = Data1->recordSource();
    Data1->setRecordSource(Catalogue::memoById(m_session.EditMemoId));
    if (Result r = Data1->refresh(); !r) {
        skipOnFailure(r, lcForms(), "showing the memo handed over");
        // A memo book held by another program: what was shown stays, and the next hand-over works.
        if (r.cause == Result::Cause::Busy) {
            Data1->setRecordSource(shown);
            Messages::warn(Messages::InUse);
            return false;
        }
    }
    return true;
}

void H_WRITE::SQL_SET()
{
    skipOnFailure(runLists(Lists::OnFailure::SkipAndGoOn), lcForms(), "SQL_SET");
}

void H_WRITE::onActivate()
{
    // A window without a record starts a new memo.
    if (Label1->text().isEmpty())
        ADD_RECORD();
    Text2->setFocus(Qt::OtherFocusReason);
}

bool H_WRITE::confirmClose()
{
    const Result written = Data1->updateRecord();
    return written || StoreFailure::resolveOnClosing(*Data1, written);
}

void H_WRITE::onUnload()
{
    // Whatever the outcome, the window closes.
    skipOnFailure(Data1->updateRecord(), lcForms(), "storing the entry window's edits on closing");
    AddInProgress = 0;
}

void H_WRITE::ADD_RECORD()
{
    AddInProgress = 1;
    Result r = Data1->addNew();
    if (r) {
        r = Data1->updateRecord();
        // The typing of the record shown before meets another copy's change: the user chooses,
        // and only storing it goes on to the new memo.
        if (r.isConflict()) {
            if (StoreFailure::resolve(*Data1, r, Messages::AddFailure) != StoreFailure::Outcome::Stored) {
                AddInProgress = 0;
                return;
            }
            r = Result::success();
        }
    }
    if (r)
        r = Data1->moveLast();
    if (r) {
        const DateForms& dates = DateForms::instance();
        const QDate today = dates.today();
        Text1->setText(dates.shortDate(today));
        Text3->setText(dates.longDate(today));
        // Moving away and back stores the date and shows the new record with its ID.
        r = CommandRow::confirmByMoving(*Data1);
    }
    if (!r) {
        // The date box must go on following the records after a failed add.
        AddInProgress = 0;
        StoreFailure::resolve(*Data1, r, Messages::AddFailure);
        return;
    }
    Text2->setFocus(Qt::OtherFocusReason);
}

void H_WRITE::REPOSITION_COMMIT(const QString& failureMessage)
{
    if (m_committing)
        return;
    m_committing = true;
    Result r = CommandRow::confirmByMoving(*Data1);
    while (!r && StoreFailure::resolve(*Data1, r, failureMessage) == StoreFailure::Outcome::Stored)
        r = CommandRow::confirmByMoving(*Data1);
    m_committing = false;
}

void H_WRITE::storeDateBox()
{
    Text1->setText(Text3->text());
    DBCombo1->setFocus(Qt::OtherFocusReason);
}

void H_WRITE::chooseMemoFile()
{
    FileDialog::Request request;
    request.title = FileDialogTitle;
    request.filter = FileDialogFilter;
    request.initialName = FileDialogInitialName;
    request.flags = FileDialog::HideReadOnly;
    if (const std::optional<QString> path = FileDialog::instance().getOpenFileName(request))
        Text4->setText(*path);
}

void H_WRITE::openMemoFile()
{
    OPEN_MEMO_FILE(DBCombo7->text(), Text4->text(), DBCombo1->text(), *Data5, *Text8, *Text9, false);
}

bool H_WRITE::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Text3 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            storeDateBox();
            return true;
        }
    }
    if ((watched == Text2 || watched == Text3) && event->type() == QEvent::FocusIn) {
        if (!entersBox(static_cast<QFocusEvent*>(event)->reason()) || m_committing)
            return false;
        // The box takes the focus first, so that a failure message returns it there.
        watched->event(event);
        REPOSITION_COMMIT(watched == Text2 ? Messages::SaveFailure : Messages::SaveFailureDateBox);
        return true;
    }
    return Form::eventFilter(watched, event);
}
