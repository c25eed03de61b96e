#include "store/dataerror.h"
#include "store/preferences.h"
#include "tables.h"
#include "testfiles.h"

#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using qb::Preferences;

namespace {

Preferences makePreferences(const QString& path, const QStringList& contacts,
                            const QStringList& websites = {}, const QStringList& serials = {}) {
    return Preferences{path, {contacts, websites, serials}};
}

QByteArray golden(const QString& name) {
    return qb::test::goldenBytes(u"store/prefs-"_s + name + u".ini"_s);
}

} // namespace

Q_DECLARE_METATYPE(Preferences)

class TestPreferences : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init() {
        m_path = m_dir.filePath(u"quillbox.ini"_s);
        QFile::remove(m_path);
    }

    // The file before the save (empty: none), the golden file of the bytes saved (empty: not
    // compared); the saved preferences load back unchanged.
    void saveAndLoad_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<Preferences>("preferences");
        QTest::addColumn<QString>("after");
        QTest::newRow("nothing to remember") << QString() << Preferences{} << u"empty"_s;
        QTest::newRow("path and histories")
            << QString()
            << makePreferences(u"/home/u/通讯录.mdb"_s, {u"张"_s, u"li"_s}, {}, {u"x"_s})
            << u"histories"_s;
        // A shorter history leaves the entry keys beyond it in place.
        QTest::newRow("other content and higher entry keys stay")
            << u"other-before"_s << makePreferences(u"p"_s, {u"x"_s}, {u"new"_s}) << u"other"_s;
        // The reader drops surrounding blanks and one pair of quotes: such a path is quoted, so
        // it comes back exactly and names the same file.
        QTest::newRow("path with surrounding blanks")
            << QString() << makePreferences(u" /d/a b.mdb "_s, {}) << u"blanks"_s;
        QTest::newRow("over random bytes")
            << u"random"_s << makePreferences(u"/d.mdb"_s, {u"a"_s}, {u"b"_s}, {u"c"_s})
            << QString();
        QTest::newRow("characters outside GBK")
            << QString()
            << makePreferences(u"/home/😀/\U00020000.mdb"_s,
                               {u"笑😀脸"_s, u"\u3400\U0002A6D6"_s, u"a\"b'=c"_s},
                               {u"€ ĉ ẞ ☃ ₿"_s})
            << QString();
        QTest::newRow("path in quotes")
            << QString() << makePreferences(u"'/d/a.mdb'"_s, {}) << QString();
        QTest::newRow("duplicates and empty entries")
            << QString() << makePreferences(QString(), {u"a"_s, QString(), u"a"_s, QString()})
            << QString();
        QTest::newRow("long histories")
            << QString()
            << makePreferences(u"p"_s, QStringList(100000, u"c"_s), QStringList(120, u"w"_s),
                               QStringList(7, u"s"_s))
            << QString();
    }
    void saveAndLoad() {
        QFETCH(QString, before);
        QFETCH(Preferences, preferences);
        QFETCH(QString, after);
        if (before == u"random"_s) {
            QByteArray bytes(32 * 1024, Qt::Uninitialized);
            QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(bytes.data()), 8 * 1024);
            qb::test::writeBytes(m_path, bytes);
        } else if (!before.isEmpty()) {
            qb::test::writeBytes(m_path, golden(before));
        }
        qb::SavePreferences(m_path, preferences);
        if (!after.isEmpty())
            QCOMPARE(qb::test::readBytes(m_path), golden(after));
        const Preferences loaded = qb::LoadPreferences(m_path);
        QCOMPARE(loaded.databasePath, preferences.databasePath);
        QCOMPARE(loaded.histories, preferences.histories);
    }

    // The [findstr] section of a file, and the Contacts history it loads.
    void contactsHistoryFromFile_data() {
        qb::test::addTableRows(u"store/history.txt"_s, {"section", "entries"});
    }
    void contactsHistoryFromFile() {
        QFETCH(QString, section);
        QFETCH(QString, entries);
        QCOMPARE(qb::LoadPreferences(m_path).histories[0], QStringList()); // first run
        QVERIFY(!QFile::exists(m_path));
        qb::test::writeBytes(m_path,
                             qb::test::gb18030(u"[lastpath]\r\npathmdb=/d.mdb\r\n[findstr]\r\n"_s +
                                               section + u"wzsk1count=1\r\n0.wzsk1str=site\r\n"_s));
        const Preferences loaded = qb::LoadPreferences(m_path);
        QStringList histories;
        for (const QStringList& history : loaded.histories)
            histories << history.join(u';');
        QCOMPARE(histories.join(u'|'), entries + u"|site|"_s);
        QCOMPARE(loaded.databasePath, u"/d.mdb"_s);
    }

    // A path below a regular file cannot be written, even by root.
    void saveFailureLeavesOldFile() {
        const QTemporaryDir dir;
        const QByteArray old("[lastpath]\r\npathmdb=/old.mdb\r\n");
        const QString oldFile = dir.filePath(u"quillbox.ini"_s);
        const QString path = oldFile + u"/quillbox.ini"_s;
        qb::test::writeBytes(oldFile, old);
        try {
            qb::SavePreferences(path, makePreferences(u"/new.mdb"_s, {u"a"_s}));
            QFAIL("SavePreferences did not fail");
        } catch (const qb::DataError& error) {
            QCOMPARE(error.message(), u"Unable to write to "_s + QDir::toNativeSeparators(path));
        }
        QCOMPARE(qb::test::readBytes(oldFile), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{u"quillbox.ini"_s});
    }

    // A pipe would hang the start and a link to a device fill the memory: only a regular file
    // of a profile's size is read. Each is refused with a clear error and left as it is.
    void onlyRegularFilesAreRead_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("error");
        QTest::newRow("pipe") << u"pipe"_s << u"不是普通文件，没有读取"_s;
        QTest::newRow("link to /dev/zero") << u"link"_s << u"不是普通文件，没有读取"_s;
        QTest::newRow("too big") << u"big"_s << u"太大（超过 64 MB），没有读取"_s;
    }
    void onlyRegularFilesAreRead() {
        QFETCH(QString, kind);
        QFETCH(QString, error);
        if (kind == u"pipe"_s) {
            QCOMPARE(::mkfifo(QFile::encodeName(m_path).constData(), 0600), 0);
        } else if (kind == u"link"_s) {
            QVERIFY(QFile::link(u"/dev/zero"_s, m_path));
        } else {
            qb::test::writeBytes(m_path, "[lastpath]\r\npathmdb=/a.mdb\r\n");
            QVERIFY(QFile(m_path).resize(64 * 1024 * 1024 + 1)); // the rest is a hole
        }
        const QFileInfo before(m_path);
        for (const auto& access : std::initializer_list<std::function<void()>>{
                 [&] { qb::LoadPreferences(m_path); },
                 [&] { qb::saveDatabasePath(m_path, u"/new.mdb"_s); }}) {
            try {
                access();
                QFAIL("the file was taken");
            } catch (const qb::DataError& e) {
                QVERIFY2(e.message().contains(error), qPrintable(e.message()));
            }
        }
        const QFileInfo after(m_path);
        QCOMPARE(QList({after.isSymLink(), after.isFile()}),
                 QList({before.isSymLink(), before.isFile()}));
        QCOMPARE(after.size(), before.size());
        QFile::remove(m_path);
    }

    void iniFileNameFor_data() {
        QTest::addColumn<QString>("program"); // relative to a temporary folder
        QTest::addColumn<QString>("expected");

        QTest::newRow("extension replaced") << u"book.exe"_s << u"book.ini"_s;
        QTest::newRow("last extension only") << u"book.v2.exe"_s << u"book.v2.ini"_s;
        QTest::newRow("no extension") << u"quillbox"_s << u"quillbox.ini"_s;
        QTest::newRow("dot in the folder name") << u"v1.2/quillbox"_s << u"v1.2/quillbox.ini"_s;
        QTest::newRow("folder not writable")
            << u"afile/quillbox"_s << u"config/Quillbox/quillbox.ini"_s;
    }

    void iniFileNameFor() {
        QFETCH(QString, program);
        QFETCH(QString, expected);
        const QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(u"v1.2"_s));
        qb::test::writeBytes(dir.filePath(u"afile"_s), "not a folder");
        const QString config = dir.filePath(u"config/Quillbox"_s);

        QCOMPARE(qb::iniFileNameFor(dir.filePath(program), config), dir.filePath(expected));
        QCOMPARE(QFileInfo(config).isDir(), expected.startsWith(u"config/"_s));
    }

    // Named after this program, in a folder this process can write.
    void iniFileNameOfThisProgram() {
        const QFileInfo ini(qb::IniFileName());
        QVERIFY(ini.isAbsolute() && QFileInfo(ini.absolutePath()).isWritable());
        QCOMPARE(ini.fileName(), u"tst_preferences.ini"_s);
    }
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
