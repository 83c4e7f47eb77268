#pragma once

#include "platform/Form.h"

class H_PRN : public SingleForm<H_PRN>
{
    Q_OBJECT

public:
    H_PRN();
};
