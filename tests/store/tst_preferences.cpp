#include "books.h"
#include "store/preferences.h"
#include "tables.h"
#include "testfiles.h"

#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace qb;
using test::cell;

namespace {

QStringList entries(const QString& cell) {
    return cell.isEmpty() ? QStringList() : cell.split(u';');
}

} // namespace

class TestPreferences : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

private Q_SLOTS:
    void init() {
        m_path = m_dir.filePath(u"quillbox.ini"_s);
        QFile::remove(m_path);
    }

    void saveAndLoad_data() {
        qb::test::addTableRows(u"store/prefs.txt"_s,
                               {"before", "saved", "path", "contacts", "websites", "serials"});
    }
    void saveAndLoad() {
        const QString before = cell("before"), saved = cell("saved");
        if (!before.isNull())
            qb::test::writeBytes(m_path, qb::test::bytesOf(before));
        const Preferences preferences{
            cell("path"),
            {entries(cell("contacts")), entries(cell("websites")), entries(cell("serials"))}};
        if (!saved.isNull())
            qb::SavePreferences(m_path, preferences);
        if (!saved.isEmpty())
            QCOMPARE(qb::test::readBytes(m_path), qb::test::goldenBytes(u"store/"_s + saved));
        const qb::Preferences loaded = qb::LoadPreferences(m_path);
        QCOMPARE(loaded.databasePath, preferences.databasePath);
        QCOMPARE(loaded.histories, preferences.histories);
        QCOMPARE(QFile::exists(m_path), !before.isNull() || !saved.isNull());
    }

    // A pipe would hang the start (a read that blocks ends the test run) and a link to a
    // device fill the memory: only a regular file of a profile's size is read. Each is refused
    // with a clear error, for reading and for writing, and left as it is.
    void onlyRegularFilesAreRead_data() {
        test::addTableRows(u"store/prefs-not-regular.txt"_s, {"error"});
    }
    void onlyRegularFilesAreRead() {
        const QString error = cell("error");
        const QString kind = QString::fromLatin1(QTest::currentDataTag());
        if (kind == u"pipe"_s) {
            QCOMPARE(::mkfifo(QFile::encodeName(m_path).constData(), 0600), 0);
        } else if (kind.startsWith(u"link"_s)) {
            QVERIFY(QFile::link(u"/dev/null"_s, m_path));
        } else {
            qb::test::writeBytes(m_path, "[lastpath]\r\npathmdb=/a.mdb\r\n");
            QVERIFY(QFile(m_path).resize(64 * 1024 * 1024 + 1)); // the rest is a hole
        }
        const QFileInfo before(m_path);
        ::alarm(20);
        QVERIFY(test::storeErrorOf([&] { qb::LoadPreferences(m_path); }).contains(error));
        QVERIFY(test::storeErrorOf([&] {
                    qb::saveDatabasePath(m_path, u"/new.mdb"_s);
                }).contains(error));
        ::alarm(0);
        const QFileInfo after(m_path);
        QCOMPARE(QList({after.isSymLink(), after.isFile()}),
                 QList({before.isSymLink(), before.isFile()}));
        QCOMPARE(after.size(), before.size());
    }

    // Beside the program where that folder can be written, else in the configuration folder.
    void iniFileNameFor_data() {
        qb::test::addTableRows(u"store/ini-names.txt"_s, {"program", "expected"});
    }
    void iniFileNameFor() {
        const QString expected = cell("expected");
        const QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(u"v1.2"_s));
        qb::test::writeBytes(dir.filePath(u"afile"_s), "not a folder");
        const QString config = dir.filePath(u"config/Quillbox"_s);
        QCOMPARE(qb::iniFileNameFor(dir.filePath(cell("program")), config), dir.filePath(expected));
        QCOMPARE(QFileInfo(config).isDir(), expected.startsWith(u"config/"_s));
    }
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
