#pragma once

#include "platform/Form.h"

class H_WRITE : public SingleForm<H_WRITE>
{
    Q_OBJECT

public:
    H_WRITE();
};
