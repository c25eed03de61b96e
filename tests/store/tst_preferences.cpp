#include "store/preferences.h"
#include "store/profilefile.h"
#include "store/storeerror.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
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

} // namespace

Q_DECLARE_METATYPE(Preferences)

class TestPreferences : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_path;

    void verifySavedAndLoaded(const Preferences& preferences) {
        qb::SavePreferences(m_path, preferences);
        const Preferences loaded = qb::LoadPreferences(m_path);
        QCOMPARE(loaded.databasePath, preferences.databasePath);
        QCOMPARE(loaded.histories, preferences.histories);
    }

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

    void newFileLayout_data() {
        QTest::addColumn<Preferences>("preferences");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("nothing to remember")
            << Preferences{}
            << QByteArray("[lastpath]\r\npathmdb=\r\n[findstr]\r\nlianxi1count=0\r\n"
                          "wzsk1count=0\r\nxuliehao1count=0\r\n");
        QTest::newRow("path and histories")
            << makePreferences(u"/home/u/通讯录.mdb"_s, {u"张"_s, u"li"_s}, {}, {u"x"_s})
            << QByteArray("[lastpath]\r\npathmdb=/home/u/\xcd\xa8\xd1\xb6\xc2\xbc.mdb\r\n"
                          "[findstr]\r\nlianxi1count=2\r\n0.lianxi1str=\xd5\xc5\r\n"
                          "1.lianxi1str=li\r\nwzsk1count=0\r\nxuliehao1count=1\r\n"
                          "0.xuliehao1str=x\r\n");
    }

    void newFileLayout() {
        QFETCH(Preferences, preferences);
        QFETCH(QByteArray, expected);
        qb::SavePreferences(m_path, preferences);
        QCOMPARE(qb::test::readBytes(m_path), expected);
    }

    void roundTrip_data() {
        QTest::addColumn<Preferences>("preferences");

        QTest::newRow("Chinese path and entries") << makePreferences(
            u"/数据/联系簿.mdb"_s, {u"张三"_s, u"李四"_s}, {u"新浪网"_s}, {u"金山词霸"_s});
        QTest::newRow("characters outside GBK") << makePreferences(
            u"/home/😀/\U00020000.mdb"_s, {u"😀"_s, u"\u3400\U0002A6D6"_s}, {u"€"_s});
        QTest::newRow("duplicates and empty entries")
            << makePreferences(QString(), {u"a"_s, QString(), u"a"_s, QString()});
        QTest::newRow("long histories") << makePreferences(
            u"p"_s, numbered(u"c"_s, 300), numbered(u"w"_s, 120), numbered(u"s"_s, 7));
    }

    void roundTrip() {
        QFETCH(Preferences, preferences);
        verifySavedAndLoaded(preferences);
    }

    // Read back as the profile-file functions give them: the file does not keep surrounding
    // blanks, one pair of quotes, or more than 2047 bytes.
    void entriesReadBackAsTheFormatGivesThem() {
        const QString longEntry(1100, u'字');
        qb::SavePreferences(
            m_path, makePreferences(u" /a b/c.mdb "_s, {u"  two  "_s, u"\"quoted\""_s, longEntry}));
        const Preferences loaded = qb::LoadPreferences(m_path);
        QCOMPARE(loaded.databasePath, u"/a b/c.mdb"_s);
        QCOMPARE(loaded.histories[0], (QStringList{u"two"_s, u"quoted"_s, longEntry.first(1023)}));
    }

    void shorterHistoryKeepsHigherKeys() {
        qb::SavePreferences(m_path, makePreferences(u"old"_s, numbered(u"e"_s, 5)));
        qb::SavePreferences(m_path, makePreferences(u"new"_s, {u"x"_s, u"y"_s, u"z"_s}));

        const qb::ProfileFile file(m_path);
        QCOMPARE(file.readInt(u"findstr"_s, u"lianxi1count"_s, -1), 3);
        QCOMPARE(file.readString(u"findstr"_s, u"3.lianxi1str"_s, QString()), u"e3"_s);
        QCOMPARE(file.readString(u"findstr"_s, u"4.lianxi1str"_s, QString()), u"e4"_s);
        const Preferences loaded = qb::LoadPreferences(m_path);
        QCOMPARE(loaded.databasePath, u"new"_s);
        QCOMPARE(loaded.histories[0], (QStringList{u"x"_s, u"y"_s, u"z"_s}));
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
        QStringList bounded(qb::kMaxHistoryEntries);
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

    void saveKeepsOtherContent() {
        qb::test::writeBytes(m_path,
                             QByteArray("; kept\r\n[other]\r\nk=v\r\n[FindStr]\r\nwzsk1count=1\r\n"
                                        "0.wzsk1str=old\r\n\xff\xfe\r\n"));
        qb::SavePreferences(m_path, makePreferences(u"p"_s, {}, {u"new"_s}));
        QCOMPARE(qb::test::readBytes(m_path),
                 QByteArray("; kept\r\n[other]\r\nk=v\r\n[FindStr]\r\nwzsk1count=1\r\n"
                            "0.wzsk1str=new\r\n\xff\xfe\r\nlianxi1count=0\r\nxuliehao1count=0\r\n"
                            "[lastpath]\r\npathmdb=p\r\n"));
    }

    void saveFailureLeavesOldFile_data() {
        QTest::addColumn<bool>("folderIsAFile");
        QTest::newRow("folder is a file") << true;
        QTest::newRow("read-only folder") << false;
    }

    void saveFailureLeavesOldFile() {
        QFETCH(bool, folderIsAFile);
        const QTemporaryDir dir;
        const QByteArray old("[lastpath]\r\npathmdb=/old.mdb\r\n");
        QString oldFile = dir.filePath(u"quillbox.ini"_s);
        QString path = oldFile;
        qb::test::writeBytes(oldFile, old);
        if (folderIsAFile) {
            path = oldFile + u"/quillbox.ini"_s;
        } else {
            if (geteuid() == 0)
                QSKIP("permissions do not stop root");
            QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        }
        const auto restore = qScopeGuard([&] {
            QFile::setPermissions(dir.path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });

        try {
            qb::SavePreferences(path, makePreferences(u"/new.mdb"_s, {u"a"_s}));
            QFAIL("SavePreferences did not fail");
        } catch (const qb::StoreError& error) {
            QCOMPARE(error.message(), u"Unable to write to "_s + QDir::toNativeSeparators(path));
        }
        QCOMPARE(qb::test::readBytes(oldFile), old);
    }

    void brokenFileLoadsAndIsRepaired() {
        QByteArray bytes(32 * 1024, Qt::Uninitialized);
        QRandomGenerator random(7);
        random.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
        qb::test::writeBytes(m_path, bytes);
        qb::LoadPreferences(m_path);
        verifySavedAndLoaded(makePreferences(u"/d.mdb"_s, {u"a"_s}, {u"b"_s}, {u"c"_s}));
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
