#pragma once

#include <QString>

// What the first page of a file says it is. Only the header is read: telling a file of the
// old program from an SQLite memo book must not depend on the library that reads Jet files.
namespace JetFormat {

enum class Kind { NotJet, Jet3, Jet4 };

// "Standard Jet DB" or "Standard ACE DB" at byte 4; the version byte at 0x14 tells Jet 3
// (0) from Jet 4 and the later ACE versions. A file that cannot be read is not Jet.
Kind kindOf(const QString& path);

} // namespace JetFormat
