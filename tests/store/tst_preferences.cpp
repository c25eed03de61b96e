#include "store/dataerror.h"
#include "store/preferences.h"
#include "testfiles.h"

#include <QRandomGenerator>
#include <QScopeGuard>
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

QStringList numbered(const QString& prefix, int count) {
    QStringList entries;
    for (int i = 0; i < count; ++i)
        entries << prefix + QString::number(i);
    return entries;
}

QByteArray randomBytes(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
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
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(u"quillbox.ini"_s);
        QFile::remove(m_path);
    }

    void firstRunLoadsNothing() {
        const Preferences loaded = qb::LoadPreferences(m_path);
        QVERIFY(loaded.databasePath.isEmpty());
        for (const QStringList& history : loaded.histories)
            QVERIFY(history.isEmpty());
        QVERIFY(!QFile::exists(m_path));
    }

    // The file before the save (null: none), the exact bytes saved (null: not compared); the
    // saved preferences load back unchanged.
    void saveAndLoad_data() {
        QTest::addColumn<QByteArray>("initial");
        QTest::addColumn<Preferences>("preferences");
        QTest::addColumn<QByteArray>("expected");

        const QByteArray none;
        QTest::newRow("nothing to remember")
            << none << Preferences{}
            << "[lastpath]\r\npathmdb=\r\n[findstr]\r\nlianxi1count=0\r\n"
               "wzsk1count=0\r\nxuliehao1count=0\r\n"_ba;
        QTest::newRow("path and histories")
            << none << makePreferences(u"/home/u/通讯录.mdb"_s, {u"张"_s, u"li"_s}, {}, {u"x"_s})
            << "[lastpath]\r\npathmdb=/home/u/\xcd\xa8\xd1\xb6\xc2\xbc.mdb\r\n"
               "[findstr]\r\nlianxi1count=2\r\n0.lianxi1str=\xd5\xc5\r\n"
               "1.lianxi1str=li\r\nwzsk1count=0\r\nxuliehao1count=1\r\n"
               "0.xuliehao1str=x\r\n"_ba;
        // A shorter history leaves the entry keys beyond it in place.
        QTest::newRow("other content and higher entry keys stay")
            << "; kept\r\n[other]\r\nk=v\r\n[FindStr]\r\nLianXi1Count=3\r\n"
               "0.lianxi1str=a\r\n1.lianxi1str=b\r\n2.lianxi1str=c\r\n\xff\xfe\r\n"_ba
            << makePreferences(u"p"_s, {u"x"_s}, {u"new"_s})
            << "; kept\r\n[other]\r\nk=v\r\n[FindStr]\r\nLianXi1Count=1\r\n"
               "0.lianxi1str=x\r\n1.lianxi1str=b\r\n2.lianxi1str=c\r\n\xff\xfe\r\n"
               "wzsk1count=1\r\n0.wzsk1str=new\r\nxuliehao1count=0\r\n"
               "[lastpath]\r\npathmdb=p\r\n"_ba;
        QTest::newRow("over random bytes")
            << randomBytes(32 * 1024) << makePreferences(u"/d.mdb"_s, {u"a"_s}, {u"b"_s}, {u"c"_s})
            << none;
        QTest::newRow("Chinese path and entries")
            << none
            << makePreferences(u"/数据/联系簿.mdb"_s, {u"张三"_s, u"李四"_s, u"a\"b'=c"_s},
                               {u"新浪网"_s}, {u"金山词霸"_s})
            << none;
        QTest::newRow("characters outside GBK")
            << none
            << makePreferences(u"/home/😀/\U00020000.mdb"_s, {u"笑😀脸"_s, u"\u3400\U0002A6D6"_s},
                               {u"€ ĉ ẞ ☃ ₿"_s})
            << none;
        // The reader drops surrounding blanks and one pair of quotes: such a path is quoted, so
        // it comes back exactly and names the same file.
        QTest::newRow("path with surrounding blanks")
            << none << makePreferences(u" /d/a b.mdb "_s, {})
            << "[lastpath]\r\npathmdb=\" /d/a b.mdb \"\r\n[findstr]\r\nlianxi1count=0\r\n"
               "wzsk1count=0\r\nxuliehao1count=0\r\n"_ba;
        QTest::newRow("path in quotes") << none << makePreferences(u"'/d/a.mdb'"_s, {}) << none;
        QTest::newRow("duplicates and empty entries")
            << none << makePreferences(QString(), {u"a"_s, QString(), u"a"_s, QString()}) << none;
        QTest::newRow("long histories")
            << none
            << makePreferences(u"p"_s, numbered(u"c"_s, 100000), numbered(u"w"_s, 120),
                               numbered(u"s"_s, 7))
            << none;
    }

    void saveAndLoad() {
        QFETCH(QByteArray, initial);
        QFETCH(Preferences, preferences);
        QFETCH(QByteArray, expected);
        if (!initial.isNull())
            qb::test::writeBytes(m_path, initial);
        qb::SavePreferences(m_path, preferences);
        if (!expected.isNull())
            QCOMPARE(qb::test::readBytes(m_path), expected);
        const Preferences loaded = qb::LoadPreferences(m_path);
        QCOMPARE(loaded.databasePath, preferences.databasePath);
        QCOMPARE(loaded.histories, preferences.histories);
    }

    // The [findstr] section of a file, and the Contacts history it loads.
    void contactsHistoryFromFile_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("count missing") << u"0.lianxi1str=a\r\n"_s << QStringList();
        QTest::newRow("count not a number")
            << u"lianxi1count=two\r\n0.lianxi1str=a\r\n"_s << QStringList();
        QTest::newRow("count negative")
            << u"lianxi1count=-1\r\n0.lianxi1str=a\r\n"_s << QStringList();
        QTest::newRow("count in hex")
            << u"lianxi1count=0x2\r\n0.lianxi1str=a\r\n1.lianxi1str=b\r\n2.lianxi1str=c\r\n"_s
            << QStringList{u"a"_s, u"b"_s};
        QTest::newRow("names in any case")
            << u"LIANXI1COUNT=1\r\n0.LianXi1Str=a\r\n"_s << QStringList{u"a"_s};
        QTest::newRow("missing entry inside the range")
            << u"lianxi1count=3\r\n2.lianxi1str=c\r\n0.lianxi1str=a\r\n"_s
            << QStringList{u"a"_s, QString(), u"c"_s};
        QTest::newRow("count beyond the stored entries")
            << u"lianxi1count=5\r\n0.lianxi1str=a\r\n1.lianxi1str=b\r\n"_s
            << QStringList{u"a"_s, u"b"_s};
        QTest::newRow("huge count")
            << u"lianxi1count=2000000000\r\n0.lianxi1str=a\r\n1.lianxi1str=b\r\n"_s
            << QStringList{u"a"_s, u"b"_s};
        QTest::newRow("count without entries") << u"lianxi1count=2000000000\r\n"_s << QStringList();
        QStringList bounded(2 + qb::kMaxHistoryGaps);
        bounded[0] = u"a"_s;
        QTest::newRow("stray entry far out")
            << u"lianxi1count=2000000000\r\n0.lianxi1str=a\r\n1999999999.lianxi1str=z\r\n"_s
            << bounded;
        QTest::newRow("entries beyond the count ignored")
            << u"lianxi1count=1\r\n0.lianxi1str=a\r\n1.lianxi1str=b\r\n"_s << QStringList{u"a"_s};
        QTest::newRow("other spellings of an index do not count")
            << u"lianxi1count=9\r\n0.lianxi1str=a\r\n07.lianxi1str=x\r\n+5.lianxi1str=y\r\n"
               u"-3.lianxi1str=z\r\n 6 .lianxi1str=w\r\n"_s
            << QStringList{u"a"_s};
        QTest::newRow("other books' entries do not count")
            << u"lianxi1count=9\r\n0.lianxi1str=a\r\n5.wzsk1str=x\r\n5.xlianxi1str=y\r\n"_s
            << QStringList{u"a"_s};
    }

    void contactsHistoryFromFile() {
        QFETCH(QString, section);
        QFETCH(QStringList, expected);
        qb::test::writeBytes(m_path,
                             qb::test::gb18030(u"[lastpath]\r\npathmdb=/d.mdb\r\n[findstr]\r\n"_s +
                                               section + u"wzsk1count=1\r\n0.wzsk1str=site\r\n"_s));
        const Preferences loaded = qb::LoadPreferences(m_path);
        QCOMPARE(loaded.histories[0], expected);
        QCOMPARE(loaded.histories[1], QStringList{u"site"_s});
        QVERIFY(loaded.histories[2].isEmpty());
        QCOMPARE(loaded.databasePath, u"/d.mdb"_s);
    }

    void saveFailureLeavesOldFile_data() {
        QTest::addColumn<QString>("blocked"); // how the file is kept from being written
        QTest::newRow("folder is a file") << u"folder is a file"_s;
        QTest::newRow("read-only folder") << u"read-only folder"_s;
        QTest::newRow("read-only file") << u"read-only file"_s;
    }

    void saveFailureLeavesOldFile() {
        QFETCH(QString, blocked);
        const QTemporaryDir dir;
        const QByteArray old("[lastpath]\r\npathmdb=/old.mdb\r\n");
        const QString oldFile = dir.filePath(u"quillbox.ini"_s);
        QString path = oldFile;
        qb::test::writeBytes(oldFile, old);
        if (blocked == u"folder is a file"_s) {
            path = oldFile + u"/quillbox.ini"_s;
        } else {
            if (geteuid() == 0)
                QSKIP("permissions do not stop root");
            const QString target = blocked == u"read-only file"_s ? oldFile : dir.path();
            QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::ExeOwner));
        }
        const auto restore = qScopeGuard([&] {
            QFile::setPermissions(dir.path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });

        try {
            qb::SavePreferences(path, makePreferences(u"/new.mdb"_s, {u"a"_s}));
            QFAIL("SavePreferences did not fail");
        } catch (const qb::DataError& error) {
            QCOMPARE(error.message(), u"Unable to write to "_s + QDir::toNativeSeparators(path));
        }
        QCOMPARE(qb::test::readBytes(oldFile), old);
        // No temporary file is left behind either.
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
        QCOMPARE(after.isSymLink(), before.isSymLink());
        QCOMPARE(after.isFile(), before.isFile());
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

    // Named after this program, in a folder this process can write (beside the program in a
    // writable build tree, the configuration folder otherwise).
    void iniFileNameOfThisProgram() {
        const QFileInfo ini(qb::IniFileName());
        QCOMPARE(ini.fileName(), u"tst_preferences.ini"_s);
        QVERIFY(ini.isAbsolute());
        QVERIFY(QFileInfo(ini.absolutePath()).isWritable());
    }
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
