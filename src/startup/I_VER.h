#pragma once

#include "widgets/Form.h"

// The version window, placed directly above the main window each time it loads.
class I_VER : public SingleForm<I_VER>
{
    Q_OBJECT

public:
    I_VER();

protected:
    Result onLoad() override;
};
