#include "help_registration/H_WRITE.h"

H_WRITE::H_WRITE()
    : SingleForm(QStringLiteral("H_WRITE"), QStringLiteral("ヘルプ登録"), 6372, 5856)
{
}
