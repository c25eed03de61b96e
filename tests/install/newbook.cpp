// qb_newbook <folder> <name>: an empty book made the way the program makes one, for the
// shell tests that check what the desktop makes of the file.

#include "books.h"

#include <QCoreApplication>
#include <QStringList>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3)
        return 2;
    qb::test::createBookFile(args[1], args[2]);
    return 0;
}
