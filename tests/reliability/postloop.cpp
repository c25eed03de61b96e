// Posts contacts to a database file until it is killed, printing each key on its own line once
// the post has returned. The crash-safety test kills it at random moments and then checks that
// every printed key is in the file.
#include "store/recordstore.h"
#include "store/storeerror.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

// Long enough that a post changes several pages (record, key index, free space).
QString noteFor(int n) {
    return QString(200 + n % 55, QChar(u'记'));
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: qb_postloop <database file> <key prefix>\n");
        return 2;
    }
    const QString prefix = QString::fromLocal8Bit(argv[2]);
    try {
        qb::RecordStore store;
        store.openDatabase(QString::fromLocal8Bit(argv[1]));
        qb::BookDataset& contacts = store.book(qb::BookId::Contacts);
        const int note = contacts.columnIndex(QStringLiteral("备注"));
        for (int n = 0;; ++n) {
            const QString key = prefix + QString::number(n);
            contacts.append();
            contacts.setFieldText(0, key);
            contacts.setFieldText(note, noteFor(n));
            contacts.post();
            std::printf("%s\n", key.toUtf8().constData());
            std::fflush(stdout);
        }
    } catch (const qb::StoreError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
