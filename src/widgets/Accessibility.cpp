#include "widgets/Accessibility.h"

#include "widgets/ComboBox.h"
#include "widgets/Form.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTabBar>
#include <QWindow>

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

// One tab of a tab bar: read by its name (its accessible name where the bar gives one, its
// caption otherwise), selected while it is the current one, and pressed to bring its page.
class PageTab : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    PageTab(QTabBar* bar, int index) : m_bar(bar), m_index(index) {}

    bool isValid() const override { return m_bar && m_index < m_bar->count(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_bar ? m_bar->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_bar); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override
    {
        if (!isValid() || t != QAccessible::Name)
            return {};
        const QString name = m_bar->accessibleTabName(m_index);
        return name.isEmpty() ? QString(m_bar->tabText(m_index)).remove(QLatin1Char('&')) : name;
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect r = m_bar->tabRect(m_index);
        return QRect(m_bar->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return QAccessible::PageTab; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid())
            return s;
        const bool current = m_bar->currentIndex() == m_index;
        s.selectable = true;
        s.selected = current;
        s.focusable = true;
        s.focused = current && m_bar->hasFocus();
        s.invisible = !m_bar->isVisible() || !m_bar->isTabVisible(m_index);
        s.disabled = !m_bar->isTabEnabled(m_index);
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType t) override
    {
        return t == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override
    {
        if (name == pressAction() && isValid())
            m_bar->setCurrentIndex(m_index);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<QTabBar> m_bar;
    int m_index;
};

// A tab bar whose tabs say which one is selected, which Qt's own leaves unsaid.
class PageTabList : public QAccessibleWidget
{
public:
    explicit PageTabList(QTabBar* bar) : QAccessibleWidget(bar, QAccessible::PageTabList) {}
    ~PageTabList() override
    {
        for (QAccessible::Id id : std::as_const(m_tabs))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return bar()->count(); }
    QAccessibleInterface* child(int index) const override
    {
        if (index < 0 || index >= bar()->count())
            return nullptr;
        if (const QAccessible::Id id = m_tabs.value(index))
            return QAccessible::accessibleInterface(id);
        auto* tab = new PageTab(bar(), index);
        m_tabs.insert(index, QAccessible::registerAccessibleInterface(tab));
        return tab;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        for (auto it = m_tabs.cbegin(); it != m_tabs.cend(); ++it) {
            if (QAccessible::accessibleInterface(it.value()) == child)
                return it.key();
        }
        return -1;
    }

private:
    QTabBar* bar() const { return static_cast<QTabBar*>(widget()); }
    mutable QHash<int, QAccessible::Id> m_tabs;
};

// A line that says how something has ended: a status to a screen reader, read by its text.
class StatusText : public QAccessibleWidget
{
public:
    explicit StatusText(QLabel* label) : QAccessibleWidget(label, QAccessible::StatusBar) {}
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return static_cast<QLabel*>(widget())->text();
        return QAccessibleWidget::text(t);
    }
};

// The controls of a window as a screen reader is offered them: those never shown (the hidden
// fields that only hold values for the window's own use) are left out.
class Shown : public QAccessibleWidget
{
public:
    explicit Shown(QWidget* container) : QAccessibleWidget(container, QAccessible::Client) {}

    int childCount() const override { return int(shownChildren().size()); }
    QAccessibleInterface* child(int index) const override
    {
        const QList<QWidget*> shown = shownChildren();
        return index >= 0 && index < shown.size() ? QAccessible::queryAccessibleInterface(shown[index]) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return child ? int(shownChildren().indexOf(qobject_cast<QWidget*>(child->object()))) : -1;
    }

private:
    QList<QWidget*> shownChildren() const
    {
        QList<QWidget*> shown;
        for (QObject* o : widget()->children()) {
            auto* w = qobject_cast<QWidget*>(o);
            if (w && !w->isWindow() && !w->isHidden())
                shown.append(w);
        }
        return shown;
    }
};

const char* const WindowProperty = "orvWindow";
const char* const StatusProperty = "orvStatus";
const char* const ShownProperty = "orvShownOnly";

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
    if (auto* bar = qobject_cast<QTabBar*>(object))
        return new PageTabList(bar);
    if (auto* label = qobject_cast<QLabel*>(object); label && label->property(StatusProperty).isValid())
        return new StatusText(label);
    if (auto* widget = qobject_cast<QWidget*>(object); widget && widget->property(ShownProperty).isValid())
        return new Shown(widget);
    return nullptr;
}

} // namespace

void Accessibility::markAsWindow(QWidget* window, bool dialog)
{
    install();
    window->setProperty(WindowProperty, dialog);
}

void Accessibility::offerShownOnly(QWidget* container)
{
    install();
    container->setProperty(ShownProperty, true);
}

void Accessibility::markAsStatus(QLabel* label)
{
    install();
    label->setProperty(StatusProperty, true);
}

void Accessibility::announce(QLabel* status, const QString& text)
{
    status->setText(text);
    QAccessibleEvent changed(status, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}

void Accessibility::install()
{
    static const bool installed = (QAccessible::installFactory(factory), true);
    Q_UNUSED(installed);
}
