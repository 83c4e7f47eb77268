#pragma once

#include "platform/Form.h"

class QAction;
class QPushButton;

// The main window: four buttons and two menu commands. It opens the other windows and
// closes them when it closes.
class ORVAM : public SingleForm<ORVAM>
{
    Q_OBJECT

public:
    ORVAM();

    // Adds the table of registered applications to the database when it has none. Returns
    // false only when the database cannot be opened.
    bool GL_HELP_PATH_TABLE_MAKE();
    bool loadSucceeded() const { return m_loadSucceeded; }

protected:
    void onLoad() override;
    void onUnload() override;

private:
    static void closeOtherWindows();

    bool m_loadSucceeded = false;
};
