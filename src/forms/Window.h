#pragma once

#include "forms/Messages.h"
#include "widgets/Form.h"

// What the windows' headers name: their base, and the controls, record sets and session
// they hold pointers to, declared once here.
class Binding;
class ComboBox;
class DataGrid;
class MemoBox;
class MemoIndex;
class QAction;
class QCheckBox;
class QLabel;
class QPushButton;
class QTabWidget;
class RecordSet;
class TextBox;
struct Session;

namespace Windows {

enum class State {
    Normal,  // restored from minimised or maximised first
    AsItWas, // a minimised window stays minimised
};

// Shows window T beside the others, loading it first when it is not open, and brings it to
// the front. A window that could not read the memo book because another program holds it
// is not shown: the user is told, and the next opening tries again. Null then.
template <class T> T* open(Session& session, State state = State::Normal)
{
    const bool opening = !T::isLoaded();
    T* w = T::instance(session);
    if (opening && w->loadResult().cause == Result::Cause::Busy) {
        T::unloadIfLoaded();
        Messages::warn(Messages::InUse);
        return nullptr;
    }
    if (state == State::Normal)
        w->setNormalState();
    w->showForm();
    return w;
}

} // namespace Windows
