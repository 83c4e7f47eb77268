#pragma once

#include "db/RecordSet.h"
#include "help_registration/H_WRITE.h"
#include "platform/ComboBox.h"
#include "platform/MemoBox.h"
#include "platform/TextBox.h"
#include "support/WindowTestFixture.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTest>

// The base of the entry window's tests.
class HWriteTestFixture : public WindowTestFixture
{
protected:
    // A field of a memo as the memo book holds it.
    QVariant stored(qint64 id, const QString& field)
    {
        return book->scalar(QStringLiteral("SELECT %1 FROM メモ帳 WHERE ID = %2").arg(field).arg(id));
    }
};

// The entry window of a test, opened as the main window's button opens it, with its
// controls at hand.
struct HWriteWindow : OpenedForm<H_WRITE, HWriteWindow>
{
    QLabel* label1() const { return get<QLabel>(QStringLiteral("Label1")); }
    TextBox* text(const char* name) const { return get<TextBox>(QString::fromUtf8(name)); }
    MemoBox* memo() const { return get<MemoBox>(QStringLiteral("Text2")); }
    ComboBox* combo(const char* name) const { return get<ComboBox>(QString::fromUtf8(name)); }
    RecordSet* data(const char* name) const { return get<RecordSet>(QString::fromUtf8(name)); }
    qint64 id() const { return label1()->text().toLongLong(); }
};

// Types text into a control as a keyboard would, Japanese included.
inline void typeText(QWidget* control, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
    QApplication::sendEvent(control, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, text);
    QApplication::sendEvent(control, &release);
}

// Replaces what a one-line control holds, as selecting all and typing would.
inline void retype(QWidget* control, const QString& text)
{
    if (auto* combo = qobject_cast<QComboBox*>(control))
        control = combo->lineEdit();
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->selectAll();
    else if (auto* memo = qobject_cast<QPlainTextEdit*>(control))
        memo->selectAll();
    typeText(control, text);
}

// The widget that has the keyboard focus, seen through focus proxies.
inline bool hasFocus(QWidget* control)
{
    QWidget* focus = QApplication::focusWidget();
    return focus && (focus == control || focus->focusProxy() == control || control->focusProxy() == focus ||
                     control->isAncestorOf(focus));
}
