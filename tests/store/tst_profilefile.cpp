#include "store/profilefile.h"
#include "tables.h"
#include "testfiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using qb::ProfileFile;

class TestProfileFile : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

private Q_SLOTS:
    void init() {
        m_path = m_dir.filePath(u"prefs.ini"_s);
        QFile::remove(m_path);
    }

    void read_data() {
        qb::test::addTableRows(u"store/profile-read.txt"_s, {"text", "section", "key", "value"});
    }
    void read() {
        QFETCH(QString, text);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        qb::test::writeBytes(m_path, qb::test::gb18030(text));
        const ProfileFile file(m_path);
        if (key == u"*"_s)
            QCOMPARE(file.sectionKeys(section).join(u','), value);
        else if (key.startsWith(u'#'))
            QCOMPARE(file.readInt(section, key.mid(1), -1), value.toInt());
        else
            QCOMPARE(file.readString(section, key, u"<default>"_s), value);
    }

    void writeAndSave_data() {
        qb::test::addTableRows(u"store/profile-write.txt"_s,
                               {"before", "section", "key", "value", "after"});
    }
    void writeAndSave() {
        QFETCH(QString, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, after);
        if (!before.isNull())
            qb::test::writeBytes(m_path, qb::test::bytesOf(before));
        ProfileFile file(m_path);
        file.writeString(section, key, value);
        file.save();
        QCOMPARE(qb::test::readBytes(m_path), qb::test::bytesOf(after));
    }
};

QTEST_GUILESS_MAIN(TestProfileFile)
#include "tst_profilefile.moc"
