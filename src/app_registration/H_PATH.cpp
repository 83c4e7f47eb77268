#include "app_registration/H_PATH.h"

H_PATH::H_PATH()
    : SingleForm(QStringLiteral("H_PATH"), QStringLiteral("アプリケーション登録"), 7332, 3444)
{
}
