#pragma once

#include "platform/Service.h"

#include <QString>

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

    // The real one, whatever instance is set.
    static MessageBox& real();
};
