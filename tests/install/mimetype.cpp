// qb_mimetype <file>...: the file type Qt's database gives each file, as Qt-based file
// managers see it.

#include <QCoreApplication>
#include <QMimeDatabase>
#include <QStringList>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QMimeDatabase types;
    for (const QString& file : QCoreApplication::arguments().mid(1))
        std::printf("%s\n", qPrintable(types.mimeTypeForFile(file).name()));
    return 0;
}
