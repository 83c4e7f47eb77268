#include "platform/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

class QtMessageBox final : public MessageBox
{
public:
    Answer ask(const Request& request) override
    {
        QMessageBox box(QApplication::activeWindow());
        prepare(box, request);
        if (request.buttons == Buttons::YesNo) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(request.defaultAnswer == Answer::No ? QMessageBox::No : QMessageBox::Yes);
            box.setEscapeButton(QMessageBox::No);
            return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
        }
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return Answer::Ok;
    }

    int choose(const Request& request, const QStringList& choices, int defaultChoice, int escapeChoice) override
    {
        QMessageBox box(QApplication::activeWindow());
        prepare(box, request);
        QList<QPushButton*> buttons;
        for (const QString& caption : choices)
            buttons.append(box.addButton(caption, QMessageBox::ActionRole));
        if (defaultChoice >= 0 && defaultChoice < buttons.size())
            box.setDefaultButton(buttons[defaultChoice]);
        if (escapeChoice >= 0 && escapeChoice < buttons.size())
            box.setEscapeButton(buttons[escapeChoice]);
        box.exec();
        const int pressed = int(buttons.indexOf(qobject_cast<QPushButton*>(box.clickedButton())));
        return pressed >= 0 ? pressed : escapeChoice;
    }

private:
    static void prepare(QMessageBox& box, const Request& request)
    {
        box.setWindowTitle(request.title);
        // A lone carriage return breaks the line on the original system; Qt needs a line feed.
        QString text = request.text;
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        box.setText(text);
        box.setTextFormat(Qt::PlainText);
        // In the order of Icon.
        static constexpr QMessageBox::Icon icons[] = {QMessageBox::NoIcon, QMessageBox::Warning, QMessageBox::Question,
                                                      QMessageBox::Information, QMessageBox::Critical};
        box.setIcon(icons[static_cast<int>(request.icon)]);
    }
};

} // namespace

MessageBox& MessageBox::real()
{
    static QtMessageBox real;
    return real;
}
