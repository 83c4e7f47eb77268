#include "viewer/OldFilesWindow.h"

#include "core/AppInfo.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "viewer/OldFiles.h"
#include "widgets/Accessibility.h"
#include "widgets/Placement.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QPointer<OldFilesWindow> g_window;

constexpr int KeyRole = Qt::UserRole;

QString lines(const QStringList& parts)
{
    return parts.join(QStringLiteral("\r\n"));
}

void warn(const QString& text)
{
    MessageBox::instance().ask(
        {text, AppInfo::Title, MessageBox::Icon::Exclamation, MessageBox::Buttons::Ok, MessageBox::Answer::Ok});
}

// Remembers the folder; says so when the settings could not be written, since the choice then
// lasts only until the program ends.
void store(const QString& key, const QString& folder)
{
    const Result stored = OldFiles::storeRoot(key, folder);
    if (!stored)
        warn(lines({QStringLiteral("選んだフォルダーを覚えておけませんでした。"), stored.message}));
}

} // namespace

OldFilesWindow::OldFilesWindow(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("OldFilesWindow"));
    setWindowTitle(QStringLiteral("以前のファイルの場所"));
    Accessibility::markAsWindow(this, true);
    setAttribute(Qt::WA_QuitOnClose, false);

    auto* intro = new QLabel(QStringLiteral("以前のコンピューターのドライブや共有フォルダーにあったファイルは、"
                                            "次のフォルダーの中から探します。"));
    intro->setObjectName(QStringLiteral("introLabel"));
    intro->setWordWrap(true);
    m_list = new QListWidget;
    m_list->setObjectName(QStringLiteral("rootList"));
    m_list->setAccessibleName(QStringLiteral("ドライブと共有フォルダーの置き場所"));
    m_list->setAccessibleDescription(intro->text());
    m_list->setTextElideMode(Qt::ElideMiddle);
    intro->setBuddy(m_list);
    m_empty = new QLabel(QStringLiteral("まだどのフォルダーも選ばれていません。"
                                        "見つからないファイルを開いたときに選ぶことができます。"));
    m_empty->setObjectName(QStringLiteral("emptyLabel"));
    m_empty->setWordWrap(true);

    m_change = new QPushButton(QStringLiteral("変更…"));
    m_change->setObjectName(QStringLiteral("changeButton"));
    m_change->setAccessibleDescription(
        QStringLiteral("選んだドライブや共有フォルダーの置き場所に別のフォルダーを選びます"));
    m_remove = new QPushButton(QStringLiteral("削除"));
    m_remove->setObjectName(QStringLiteral("removeButton"));
    m_remove->setAccessibleDescription(QStringLiteral("選んだドライブや共有フォルダーの置き場所を忘れます"));
    m_close = new QPushButton(QStringLiteral("閉じる"));
    m_close->setObjectName(QStringLiteral("closeButton"));
    m_close->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_change);
    buttons->addWidget(m_remove);
    buttons->addStretch(1);
    buttons->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_empty);
    layout->addLayout(buttons);
    resize(520, 280);

    connect(m_change, &QPushButton::clicked, this, &OldFilesWindow::changeSelected);
    connect(m_remove, &QPushButton::clicked, this, &OldFilesWindow::removeSelected);
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_list, &QListWidget::itemActivated, this, &OldFilesWindow::changeSelected);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &OldFilesWindow::updateButtons);
    refresh();
}

void OldFilesWindow::refresh()
{
    const QString selected = selectedKey();
    const int row = m_list->currentRow();
    m_list->clear();
    for (const OldFiles::Root& root : OldFiles::roots()) {
        auto* item = new QListWidgetItem(root.key + QStringLiteral(" → ") + root.folder);
        item->setData(KeyRole, root.key);
        item->setToolTip(root.folder);
        m_list->addItem(item);
    }
    // The same root again, or the line that took the place of a removed one.
    selectKey(selected);
    if (m_list->currentRow() < 0 && m_list->count() > 0)
        m_list->setCurrentRow(std::clamp(row, 0, m_list->count() - 1));
    m_empty->setVisible(m_list->count() == 0);
    updateButtons();
}

QString OldFilesWindow::selectedKey() const
{
    const QListWidgetItem* item = m_list->currentItem();
    return item && item->isSelected() ? item->data(KeyRole).toString() : QString();
}

void OldFilesWindow::selectKey(const QString& key)
{
    for (int i = 0; i < m_list->count(); ++i) {
        if (!key.isEmpty() && m_list->item(i)->data(KeyRole).toString() == key) {
            m_list->setCurrentRow(i);
            return;
        }
    }
    m_list->setCurrentRow(-1);
}

void OldFilesWindow::updateButtons()
{
    const bool any = !selectedKey().isEmpty();
    m_change->setEnabled(any);
    m_remove->setEnabled(any);
}

void OldFilesWindow::changeSelected()
{
    const QString key = selectedKey();
    if (key.isEmpty())
        return;
    const std::optional<QString> folder = chooseFolder(key, OldFiles::folderFor(key));
    if (!folder)
        return;
    store(key, *folder);
    refresh();
}

void OldFilesWindow::removeSelected()
{
    const QString key = selectedKey();
    if (key.isEmpty())
        return;
    const Result forgotten = OldFiles::forgetRoot(key);
    if (!forgotten)
        warn(lines({QStringLiteral("%1の置き場所を忘れることができませんでした。").arg(OldFiles::describeKey(key)),
                    forgotten.message}));
    refresh();
}

OldFilesWindow* OldFilesWindow::showWindow(QWidget* parent)
{
    if (!g_window) {
        g_window = new OldFilesWindow(parent);
        g_window->setAttribute(Qt::WA_DeleteOnClose);
    }
    g_window->refresh();
    Placement::bringToFront(g_window);
    return g_window;
}

std::optional<QString> OldFilesWindow::chooseFolder(const QString& key, const QString& initialFolder)
{
    FileDialog::Request request;
    request.title = QStringLiteral("%1の中身を置いたフォルダーを選んでください").arg(OldFiles::describeKey(key));
    request.initialName = QFileInfo(initialFolder).isDir() ? initialFolder : QDir::homePath();
    return FileDialog::instance().getExistingDirectory(request);
}

QString OldFilesWindow::askForRoot(const QString& path)
{
    const QString key = OldFiles::rootKey(path);
    if (key.isEmpty())
        return {};
    const QString where = OldFiles::describeKey(key);
    const QString current = OldFiles::folderFor(key);
    const QString text =
        current.isEmpty()
            ? lines({QStringLiteral("「%1」が見つかりません。").arg(path), QString(),
                     QStringLiteral("以前のコンピューターの%1の中身をこのコンピューターにコピーしてあれば、"
                                    "そのフォルダーを選んでください。")
                         .arg(where),
                     QStringLiteral("これからは%1のファイルをそのフォルダーの中から探します。").arg(where), QString(),
                     QStringLiteral("フォルダーを選びますか？")})
            : lines({QStringLiteral("「%1」が見つかりません。").arg(path), QString(),
                     QStringLiteral("%1のファイルは今、「%2」の中から探しています。").arg(where, current), QString(),
                     QStringLiteral("%1の中身を置いた別のフォルダーを選びますか？").arg(where)});
    const MessageBox::Answer answer =
        MessageBox::instance().ask({text, QStringLiteral("以前のファイルの場所"), MessageBox::Icon::Question,
                                    MessageBox::Buttons::YesNo, MessageBox::Answer::Yes});
    if (answer != MessageBox::Answer::Yes)
        return {};
    const std::optional<QString> folder = chooseFolder(key, current);
    if (!folder)
        return {};
    store(key, *folder);
    return *folder;
}
