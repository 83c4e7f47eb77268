// Makes an empty memo book for a new installation. An existing file is left as it is.
#include "db/Schema.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    QTextStream err(stderr);
    if (args.size() != 2) {
        err << "usage: orv_make_memo_book PATH/IDATA2.mdb\n";
        return 2;
    }
    const QString path = args.at(1);
    if (QFileInfo::exists(path))
        return 0;
    const Result made = Schema::createMemoBook(path);
    if (!made) {
        err << "cannot make " << path << ": " << made.message << "\n";
        return 1;
    }
    return 0;
}
