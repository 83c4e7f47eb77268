#include "platform/Accessibility.h"

#include "platform/ComboBox.h"
#include "platform/Form.h"

#include <QAccessible>
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

    // The text box is the one child: what is typed there is the value.
    int childCount() const override { return combo()->lineEdit() ? 1 : 0; }
    QAccessibleInterface* child(int index) const override
    {
        return index == 0 && combo()->lineEdit() ? QAccessible::queryAccessibleInterface(combo()->lineEdit()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return child && child->object() == combo()->lineEdit() ? 0 : -1;
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

QAccessibleInterface* factory(const QString&, QObject* object)
{
    // A window of the program is a frame to a screen reader, as any main window is; a plain
    // widget would count as a filler inside something else.
    if (auto* form = qobject_cast<Form*>(object))
        return new QAccessibleWidget(form, QAccessible::Window);
    if (auto* combo = qobject_cast<ComboBox*>(object))
        return new NamedComboBox(combo);
    return nullptr;
}

} // namespace

void Accessibility::install()
{
    static const bool installed = (QAccessible::installFactory(factory), true);
    Q_UNUSED(installed);
}
