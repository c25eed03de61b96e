#include "store/profilefile.h"
#include "store/storeerror.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace Qt::StringLiterals;
using qb::ProfileFile;

namespace {

// What a rewrite without changes gives: every line as it was, ended by CR LF.
QByteArray withCrLfLines(const QByteArray& bytes) {
    QList<QByteArray> lines = bytes.split('\n');
    if (lines.back().isEmpty())
        lines.removeLast();
    QByteArray out;
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        out += line + "\r\n";
    }
    return out;
}

} // namespace

class TestProfileFile : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_path;

private Q_SLOTS:
    void init() {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(u"prefs.ini"_s);
        QFile::remove(m_path);
    }

    void readString_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");

        const QString dflt = u"<default>"_s;
        QTest::newRow("case-blind names")
            << u"[LastPath]\r\nPathMdb=x\r\n"_s << u"lastpath"_s << u"PATHMDB"_s << u"x"_s;
        QTest::newRow("blanks around name and value")
            << u"[s]\r\n \t k \t=  v  v \t\r\n"_s << u" s "_s << u"k"_s << u"v  v"_s;
        QTest::newRow("double quotes") << u"[s]\r\nk=\" v \"\r\n"_s << u"s"_s << u"k"_s << u" v "_s;
        QTest::newRow("single quotes") << u"[s]\r\nk= 'v' \r\n"_s << u"s"_s << u"k"_s << u"v"_s;
        QTest::newRow("one pair only")
            << u"[s]\r\nk=\"\"v\"\"\r\n"_s << u"s"_s << u"k"_s << u"\"v\""_s;
        QTest::newRow("unmatched quotes")
            << u"[s]\r\nk=\"v'\r\n"_s << u"s"_s << u"k"_s << u"\"v'"_s;
        QTest::newRow("lone quote") << u"[s]\r\nk=\"\r\n"_s << u"s"_s << u"k"_s << u"\""_s;
        QTest::newRow("empty value") << u"[s]\r\nk=\r\n"_s << u"s"_s << u"k"_s << QString();
        QTest::newRow("equals in value") << u"[s]\r\nk=a=b\r\n"_s << u"s"_s << u"k"_s << u"a=b"_s;
        QTest::newRow("missing key") << u"[s]\r\nk=v\r\n"_s << u"s"_s << u"j"_s << dflt;
        QTest::newRow("missing section") << u"[s]\r\nk=v\r\n"_s << u"t"_s << u"k"_s << dflt;
        QTest::newRow("empty file") << QString() << u"s"_s << u"k"_s << dflt;
        QTest::newRow("first key wins") << u"[s]\r\nk=1\r\nK=2\r\n"_s << u"s"_s << u"k"_s << u"1"_s;
        QTest::newRow("first section wins")
            << u"[s]\r\nk=1\r\n[S]\r\nj=2\r\n"_s << u"s"_s << u"j"_s << dflt;
        QTest::newRow("LF line ends") << u"[s]\nk=v\n"_s << u"s"_s << u"k"_s << u"v"_s;
        QTest::newRow("no line end at the end") << u"[s]\r\nk=v"_s << u"s"_s << u"k"_s << u"v"_s;
        QTest::newRow("key before any section") << u"k=v\r\n[s]\r\n"_s << u"s"_s << u"k"_s << dflt;
        QTest::newRow("unknown lines skipped")
            << u"[s]\r\nnonsense\r\n[broken\r\n=x\r\n;note\r\nk=v\r\n"_s << u"s"_s << u"k"_s
            << u"v"_s;
        QTest::newRow("Chinese names and value")
            << u"[查找]\r\n名字 = 张三 李四\r\n"_s << u"查找"_s << u"名字"_s << u"张三 李四"_s;
        QTest::newRow("']' and '[' as second byte of a character")
            << u"[乚]\r\n乕=匽]\r\n"_s << u"乚"_s << u"乕"_s << u"匽]"_s;
        QTest::newRow("ideographic space is not a blank")
            << u"[s]\r\nk=\u3000v\u3000\r\n"_s << u"s"_s << u"k"_s << u"\u3000v\u3000"_s;
    }

    void readString() {
        QFETCH(QString, text);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        qb::test::writeBytes(m_path, qb::test::gb18030(text));
        QCOMPARE(ProfileFile(m_path).readString(section, key, u"<default>"_s), expected);
    }

    void readStringCutsLongValues_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<qsizetype>("expectedLength");

        QTest::newRow("2047 ASCII bytes") << QString(2047, u'a') << qsizetype(2047);
        QTest::newRow("2048 ASCII bytes") << QString(2048, u'a') << qsizetype(2047);
        QTest::newRow("quotes removed before the cut")
            << u'"' + QString(2047, u'a') + u'"' << qsizetype(2047);
        QTest::newRow("two-byte characters, 2048 bytes") << QString(1024, u'你') << qsizetype(1023);
        QTest::newRow("two-byte characters, exactly 2047 bytes")
            << u'a' + QString(1024, u'你') << qsizetype(1024);
        QString emoji;
        for (int i = 0; i < 600; ++i)
            emoji += u"😀"_s;
        QTest::newRow("four-byte characters") << emoji << qsizetype(2 * 511);
        QTest::newRow("four-byte characters after three bytes")
            << u"abc"_s + emoji << qsizetype(3 + 2 * 511);
    }

    void readStringCutsLongValues() {
        QFETCH(QString, value);
        QFETCH(qsizetype, expectedLength);
        qb::test::writeBytes(m_path, qb::test::gb18030(u"[s]\r\nk="_s + value + u"\r\n"_s));
        const QString read = ProfileFile(m_path).readString(u"s"_s, u"k"_s, QString());
        const QString unquoted = value.startsWith(u'"') ? value.sliced(1) : value;
        QCOMPARE(read, unquoted.first(expectedLength));
        QVERIFY(qb::test::gb18030(read).size() <= ProfileFile::kMaxValueBytes);
    }

    void readInt_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("expected");

        QTest::newRow("decimal") << u"42"_s << 42;
        QTest::newRow("negative") << u"-7"_s << -7;
        QTest::newRow("blanks and quotes") << u" \"9\" "_s << 9;
        QTest::newRow("hex") << u"0x1F"_s << 31;
        QTest::newRow("hex upper") << u"0X1f"_s << 31;
        QTest::newRow("largest hex") << u"0x7FFFFFFF"_s << 2147483647;
        QTest::newRow("hex too large") << u"0x80000000"_s << -1;
        QTest::newRow("prefix alone") << u"0x"_s << -1;
        QTest::newRow("signed hex") << u"0x-5"_s << -1;
        QTest::newRow("hex twice") << u"0x0x5"_s << -1;
        QTest::newRow("bad hex digit") << u"0x1G"_s << -1;
        QTest::newRow("trailing letters") << u"12abc"_s << -1;
        QTest::newRow("inner blank") << u"1 2"_s << -1;
        QTest::newRow("word") << u"abc"_s << -1;
        QTest::newRow("empty") << QString() << -1;
        QTest::newRow("too large") << u"99999999999"_s << -1;
        QTest::newRow("full-width digits") << u"１２"_s << -1;
    }

    void readInt() {
        QFETCH(QString, value);
        QFETCH(int, expected);
        qb::test::writeBytes(m_path, qb::test::gb18030(u"[s]\r\nk="_s + value + u"\r\n"_s));
        const ProfileFile file(m_path);
        QCOMPARE(file.readInt(u"s"_s, u"K"_s, -1), expected);
        QCOMPARE(file.readInt(u"s"_s, u"missing"_s, -1), -1);
    }

    void sectionKeys() {
        qb::test::writeBytes(
            m_path, qb::test::gb18030(u"a=0\r\n[s]\r\n B =1\r\nnot a key\r\n名=2\r\nb=3\r\n"
                                      u"[t]\r\nc=4\r\n[S]\r\nd=5\r\n"_s));
        const ProfileFile file(m_path);
        QCOMPARE(file.sectionKeys(u"S"_s), (QStringList{u"B"_s, u"名"_s, u"b"_s}));
        QCOMPARE(file.sectionKeys(u"none"_s), QStringList());
    }

    // Initial file (null: no file), one write, the exact bytes saved.
    void writeAndSave_data() {
        QTest::addColumn<QByteArray>("initial");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("new file") << QByteArray() << u"a"_s << u"x"_s << u"1"_s
                                  << QByteArray("[a]\r\nx=1\r\n");
        QTest::newRow("update keeps the stored spelling")
            << QByteArray("[A]\r\n  Key = old\r\nz=1\r\n") << u"a"_s << u"KEY"_s << u"new"_s
            << QByteArray("[A]\r\n  Key =new\r\nz=1\r\n");
        QTest::newRow("new key at the end of its section")
            << QByteArray("[a]\r\nx=1\r\n[b]\r\ny=2\r\n") << u"A"_s << u"z"_s << u"3"_s
            << QByteArray("[a]\r\nx=1\r\nz=3\r\n[b]\r\ny=2\r\n");
        QTest::newRow("new section at the end")
            << QByteArray("[a]\r\nx=1\r\n") << u"b"_s << u"y"_s << u"2"_s
            << QByteArray("[a]\r\nx=1\r\n[b]\r\ny=2\r\n");
        QTest::newRow("first of a repeated section")
            << QByteArray("[a]\r\nx=1\r\n[A]\r\nx=2\r\n") << u"a"_s << u"x"_s << u"3"_s
            << QByteArray("[a]\r\nx=3\r\n[A]\r\nx=2\r\n");
        QTest::newRow("unknown lines kept byte for byte")
            << QByteArray(";note\r\n\xff\x81 junk\r\n[a]\r\n\r\n[broken\r\nx=1\r\n\x80\r\n")
            << u"a"_s << u"x"_s << u"2"_s
            << QByteArray(";note\r\n\xff\x81 junk\r\n[a]\r\n\r\n[broken\r\nx=2\r\n\x80\r\n");
        QTest::newRow("LF lines become CR LF") << QByteArray("[a]\nx=1\ny=2") << u"a"_s << u"x"_s
                                               << u"1"_s << QByteArray("[a]\r\nx=1\r\ny=2\r\n");
        QTest::newRow("line breaks in a value become blanks")
            << QByteArray() << u"a"_s << u"x"_s << u"1\r\n[a]\nx=2"_s
            << QByteArray("[a]\r\nx=1  [a] x=2\r\n");
        QTest::newRow("GBK characters keep their GBK bytes")
            << QByteArray() << u"查找"_s << u"x"_s << u"你好"_s
            << QByteArray("[\xb2\xe9\xd5\xd2]\r\nx=\xc4\xe3\xba\xc3\r\n");
    }

    void writeAndSave() {
        QFETCH(QByteArray, initial);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, expected);
        if (!initial.isNull())
            qb::test::writeBytes(m_path, initial);
        ProfileFile file(m_path);
        file.writeString(section, key, value);
        file.save();
        QCOMPARE(qb::test::readBytes(m_path), expected);
    }

    void roundTrip_data() {
        QTest::addColumn<QString>("value");

        QTest::newRow("Chinese") << u"张三的主页 http://例子.中国/"_s;
        QTest::newRow("emoji") << u"笑😀脸"_s;
        QTest::newRow("CJK extension A and B") << u"\u3400\U00020000\U0002A6D6"_s;
        QTest::newRow("not in GBK") << u"€ ĉ ẞ ☃ ₿"_s;
        QTest::newRow("inner quotes and equals") << u"a\"b'=c"_s;
        QTest::newRow("empty") << QString();
    }

    void roundTrip() {
        QFETCH(QString, value);
        ProfileFile written(m_path);
        written.writeString(u"节"_s, u"键"_s, value);
        written.save();
        QCOMPARE(ProfileFile(m_path).readString(u"节"_s, u"键"_s, u"<default>"_s), value);
    }

    void saveFailure_data() {
        QTest::addColumn<QString>("blocked"); // how the file is kept from being written

        QTest::newRow("folder is a file") << u"folder is a file"_s;
        QTest::newRow("read-only folder") << u"read-only folder"_s;
        QTest::newRow("read-only file") << u"read-only file"_s;
    }

    void saveFailure() {
        QFETCH(QString, blocked);
        const QTemporaryDir dir;
        const QByteArray old("[a]\r\nx=1\r\n");
        QString path = dir.filePath(u"prefs.ini"_s);
        QString oldFile = path;
        if (blocked == u"folder is a file"_s) {
            oldFile = dir.filePath(u"afile"_s);
            path = oldFile + u"/prefs.ini"_s;
            qb::test::writeBytes(oldFile, old);
        } else if (geteuid() == 0) {
            QSKIP("permissions do not stop root");
        } else {
            qb::test::writeBytes(path, old);
            const QString target = blocked == u"read-only file"_s ? path : dir.path();
            QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::ExeOwner));
        }
        const auto restore = qScopeGuard([&] {
            QFile::setPermissions(dir.path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });

        ProfileFile file(path);
        file.writeString(u"a"_s, u"x"_s, u"2"_s);
        try {
            file.save();
            QFAIL("save() did not fail");
        } catch (const qb::StoreError& error) {
            QCOMPARE(error.message(), u"Unable to write to "_s + QDir::toNativeSeparators(path));
        }
        QCOMPARE(qb::test::readBytes(oldFile), old);
        // No temporary file is left behind either.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 QStringList{QFileInfo(oldFile).fileName()});
    }

    // Bytes that are no GB18030 text and no lines of the format load as far as they can and
    // survive a rewrite.
    void brokenFile() {
        QByteArray bytes(64 * 1024, Qt::Uninitialized);
        QRandomGenerator random(20240305);
        random.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
        bytes += "\n[zz]\nk = \x81\x20value\n";
        qb::test::writeBytes(m_path, bytes);

        ProfileFile file(m_path);
        QVERIFY(file.readString(u"zz"_s, u"k"_s, QString()).endsWith(u"value"_s));
        file.save();
        QCOMPARE(qb::test::readBytes(m_path), withCrLfLines(bytes));
    }

    void manyKeys() {
        constexpr int count = 100000;
        ProfileFile written(m_path);
        for (int i = 0; i < count; ++i)
            written.writeString(u"s"_s, QString::number(i) + u".key"_s, QString::number(i));
        written.writeString(u"s"_s, u"50000.KEY"_s, u"changed"_s);
        written.save();

        const ProfileFile read(m_path);
        const QStringList keys = read.sectionKeys(u"s"_s);
        QCOMPARE(keys.size(), count);
        QCOMPARE(keys.front(), u"0.key"_s);
        QCOMPARE(keys.back(), u"99999.key"_s);
        QCOMPARE(read.readString(u"s"_s, u"99999.key"_s, QString()), u"99999"_s);
        QCOMPARE(read.readString(u"s"_s, u"50000.key"_s, QString()), u"changed"_s);
    }
};

QTEST_GUILESS_MAIN(TestProfileFile)
#include "tst_profilefile.moc"
