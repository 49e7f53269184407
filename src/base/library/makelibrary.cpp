// Build tool: writes the empty encrypted game library delivered beside the program.
#include "base/library/gamestore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: quillabrix-makelibrary PATH\n"
                             "Writes an empty game library at PATH; an existing file is left untouched.\n");
        return 2;
    }
    const QString path = args.at(1);
    if (QFileInfo::exists(path))
        return 0;
    if (!GameStore::createLibrary(path)) {
        std::fprintf(stderr, "quillabrix-makelibrary: cannot write %s\n", qPrintable(path));
        return 1;
    }
    return 0;
}
