#pragma once

#include "platform/Form.h"

class H_PATH : public SingleForm<H_PATH>
{
    Q_OBJECT

public:
    H_PATH();
};
