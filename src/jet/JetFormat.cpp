#include "jet/JetFormat.h"

#include <QFile>

JetFormat::Kind JetFormat::kindOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Kind::NotJet;
    const QByteArray header = file.read(0x15);
    if (header.size() < 0x15)
        return Kind::NotJet;
    const QByteArray magic = header.mid(4, 15);
    if (magic != "Standard Jet DB" && magic != "Standard ACE DB")
        return Kind::NotJet;
    const auto version = static_cast<unsigned char>(header.at(0x14));
    if (version == 0)
        return Kind::Jet3;
    // 1 is Jet 4; 2 to 6 are the ACE formats, laid out like Jet 4.
    return version <= 6 ? Kind::Jet4 : Kind::NotJet;
}
