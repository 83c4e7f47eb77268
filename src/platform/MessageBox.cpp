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
};

} // namespace

MessageBox& MessageBox::real()
{
    static QtMessageBox real;
    return real;
}
