#pragma once

#include <QString>

namespace AppInfo {
// Title of the program; message boxes shown without a title of their own carry it.
inline const QString Title = QStringLiteral("オルバレント");
} // namespace AppInfo
