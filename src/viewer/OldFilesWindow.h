#pragma once

#include <QDialog>
#include <QString>

#include <optional>

class QLabel;
class QListWidget;
class QPushButton;

// 「以前のファイルの場所」: the folders that the user chose for the old program's drives and shares,
// one line each ("C: → /home/u/old-c"), to choose another folder for one or to forget it.
// Show it with exec(), or as a window of its own with showWindow().
class OldFilesWindow : public QDialog
{
    Q_OBJECT

public:
    explicit OldFilesWindow(QWidget* parent = nullptr);

    // Reads the remembered folders again; the root that was selected stays selected.
    void refresh();
    // The root of the selected line; empty when none is selected.
    QString selectedKey() const;
    void selectKey(const QString& key);

    // The one window, made on first use and destroyed when it closes, shown and raised.
    static OldFilesWindow* showWindow(QWidget* parent = nullptr);

    // When a Windows path is not found where its drive or share is looked for (or nowhere is chosen
    // for it yet), says so and asks for the folder that holds what was on that drive or share, then
    // lets the user choose it. The chosen folder, remembered for the root; empty when the user
    // declined or cancelled, or when the path is no Windows path.
    static QString askForRoot(const QString& path);

    // The folder dialog for a root, opening in the given folder.
    static std::optional<QString> chooseFolder(const QString& key, const QString& initialFolder);

private:
    void changeSelected();
    void removeSelected();
    void updateButtons();

    QLabel* m_empty = nullptr;
    QListWidget* m_list = nullptr;
    QPushButton* m_change = nullptr;
    QPushButton* m_remove = nullptr;
    QPushButton* m_close = nullptr;
};
