#pragma once

#include "core/Service.h"

#include <QString>
#include <QStringList>

// Message boxes, behind an interface so that tests can answer them.
class MessageBox : public Service<MessageBox>
{
public:
    enum class Icon { None, Exclamation, Question, Information, Critical };
    enum class Buttons { Ok, YesNo };
    enum class Answer { Ok, Yes, No };

    struct Request
    {
        QString text;
        QString title;
        Icon icon = Icon::None;
        Buttons buttons = Buttons::Ok;
        Answer defaultAnswer = Answer::Ok;
    };

    virtual ~MessageBox() = default;
    virtual Answer ask(const Request& request) = 0;
    // A question with buttons of its own, captioned in order; returns the index of the one
    // pressed. Enter presses defaultChoice, Esc and the close button escapeChoice.
    virtual int choose(const Request& request, const QStringList& choices, int defaultChoice, int escapeChoice) = 0;

    // The real one, whatever instance is set.
    static MessageBox& real();
};
