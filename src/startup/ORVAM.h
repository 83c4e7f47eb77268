#pragma once

#include "forms/Window.h"

// The main window: four buttons and two menu commands. It opens the other windows and
// closes them when it closes.
class ORVAM : public SingleForm<ORVAM>
{
    Q_OBJECT

public:
    explicit ORVAM(Session& session);

    // Adds the table of registered applications to the database when it has none. Returns
    // false only when the database cannot be opened.
    bool GL_HELP_PATH_TABLE_MAKE();
    bool loadSucceeded() const { return m_loadSucceeded; }

protected:
    Result onLoad() override;
    bool confirmClose() override;

private:
    // False when one of them stays open (typing that could not be stored).
    static bool closeOtherWindows();

    Session& m_session;
    bool m_loadSucceeded = false;
};
