#include "help_display/H_PRN.h"

H_PRN::H_PRN()
    : SingleForm(QStringLiteral("H_PRN"), QStringLiteral("ヘルプ表示／修正"), 6984, 6624)
{
}
