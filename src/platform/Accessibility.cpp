#include "platform/Accessibility.h"

#include "platform/ComboBox.h"
#include "platform/Form.h"

#include <QAccessible>
#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QLineEdit>

namespace {

// An entry combo box named by its caption. Qt names a combo box on Linux by its text and
// leaves the caption to a relation, so that a screen reader entering the keyword field would
// announce only the keyword; here the name is the caption and the value is the text.
class NamedComboBox : public QAccessibleWidget
{
public:
    explicit NamedComboBox(ComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value || (t == QAccessible::Name && combo()->accessibleName().isEmpty()))
            return combo()->currentText();
        return QAccessibleWidget::text(t);
    }

    // As Qt's own combo box: the drop-down list first, so that a reader finds the entries it
    // opens, then the text box, where what is typed is the value.
    int childCount() const override { return combo()->lineEdit() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override
    {
        if (index == 0)
            return QAccessible::queryAccessibleInterface(combo()->view());
        return index == 1 && combo()->lineEdit() ? QAccessible::queryAccessibleInterface(combo()->lineEdit()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (!child)
            return -1;
        if (child->object() == combo()->view())
            return 0;
        return child->object() == combo()->lineEdit() ? 1 : -1;
    }

    QStringList actionNames() const override
    {
        return QAccessibleWidget::actionNames() << QAccessibleActionInterface::showMenuAction();
    }
    void doAction(const QString& name) override
    {
        if (name == QAccessibleActionInterface::showMenuAction())
            combo()->showPopup();
        else
            QAccessibleWidget::doAction(name);
    }

private:
    ComboBox* combo() const { return static_cast<ComboBox*>(widget()); }
};

const char* const WindowProperty = "orvWindow";

QAccessibleInterface* factory(const QString&, QObject* object)
{
    // A window of the program is a frame to a screen reader, as any main window is; a plain
    // widget would count as a filler inside something else.
    if (auto* form = qobject_cast<Form*>(object))
        return new QAccessibleWidget(form, QAccessible::Window);
    if (auto* widget = qobject_cast<QWidget*>(object); widget && widget->property(WindowProperty).isValid())
        return new QAccessibleWidget(widget, widget->property(WindowProperty).toBool() ? QAccessible::Dialog
                                                                                       : QAccessible::Window);
    if (auto* combo = qobject_cast<ComboBox*>(object))
        return new NamedComboBox(combo);
    return nullptr;
}

} // namespace

void Accessibility::markAsWindow(QWidget* window, bool dialog)
{
    install();
    window->setProperty(WindowProperty, dialog);
}

void Accessibility::install()
{
    static const bool installed = (QAccessible::installFactory(factory), true);
    Q_UNUSED(installed);
}
