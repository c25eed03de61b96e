#include "badfiles.h"
#include "books.h"
#include "import/csvreader.h"
#include "import/jetimport.h"
#include "places.h"
#include "tables.h"
#include "testfiles.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <csignal>

using namespace qb;
using namespace Qt::StringLiterals;

class TestJetImport : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    QString path(const QString& name) const { return m_dir->filePath(name); }

private Q_SLOTS:
    // The tools must get their UTF-8 locale from the importer, not from whoever started it.
    void initTestCase() { qputenv("LC_ALL", "C"); }
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void cleanup() { m_dir.reset(); }

    // tests/data/jet/README.md tells what each Access file holds and what its import gives.
    void importsEveryRecord_data() { test::addTableRows(u"jet/imports.txt"_s); }
    void importsEveryRecord() {
        const auto [fixture, read] = test::cells<2>();
        const QString source = path(u"access.mdb"_s);
        QVERIFY(QFile::copy(test::dataFile(u"jet/"_s + fixture + u".mdb"_s), source));
        const QString target = path(u"new.mdb"_s);
        qint64 lastDone = -1;
        const std::optional<ImportReport> result = importJetFile(
            source, target, [&](qint64 done, qint64) { return (lastDone = done) >= 0; });
        QVERIFY(result);
        QStringList got;
        for (const QString& table : {u"lianxi1"_s, u"wzsk1"_s, u"xuliehao1"_s}) {
            QStringList columns;
            for (const QString& column :
                 test::runSql(target, u"SELECT name FROM pragma_table_info('%1')"_s.arg(table)))
                columns << u"coalesce(\"%1\", '∅')"_s.arg(column);
            got << u'[' + table + u']'
                << test::runSql(target, u"SELECT %1 FROM %2 ORDER BY rowid"_s.arg(
                                            columns.join(u"||'¦'||"), table));
        }
        got << u"[report]"_s << result->lines().mid(3);
        QCOMPARE((got.join(u'\n') + u'\n').toUtf8(),
                 test::goldenBytes(u"jet/"_s + fixture + u".expected"_s));
        QCOMPARE(result->lines().mid(0, 3).join(u'|'),
                 u"Access 数据库："_s + source + u"|新的 Quillbox 数据库："_s + target + u'|');
        QCOMPARE(QString::number(lastDone), read);
        QCOMPARE(test::readBytes(source), test::goldenBytes(u"jet/"_s + fixture + u".mdb"_s));
        // Only the new database is left beside the Access file: no journal, no part file.
        QCOMPARE(test::folderEntries(m_dir->path()), (QStringList{u"access.mdb"_s, u"new.mdb"_s}));
    }

    // The Access file stays as it was and nothing is left beside it; a tool that hangs or
    // never stops is killed.
    void failureOrCancelLeavesNothing_data() { test::addTableRows(u"jet/failures.txt"_s); }
    void failureOrCancelLeavesNothing() {
        const auto [damage, error] = test::cells<2>();
        const QString source = path(u"old.mdb"_s);
        QByteArray bytes = test::readBytes(test::dataFile(u"jet/books.mdb"_s));
        const QStringList pages = damage.split(u' '); // "scramble 6 7": random bytes in page 6
        if (pages[0] == u"scramble"_s)
            QRandomGenerator(17).fillRange(reinterpret_cast<quint32*>(bytes.data()) +
                                               pages[1].toInt() * 1024,
                                           (pages[2].toInt() - pages[1].toInt()) * 1024);
        if (damage == u"truncated"_s)
            bytes.truncate(5 * 4096);
        test::writeBytes(source, bytes);
        // A folder that is a file: no new file can be made in it, even by root.
        const QString target = path(damage == u"no folder"_s ? u"old.mdb/new.mdb"_s : u"new.mdb"_s);
        if (damage == u"target exists"_s)
            test::writeBytes(target, "mine");
        const bool fake = damage == u"hang"_s || damage == u"too many"_s;
        QVERIFY(QDir().mkpath(path(u"tools"_s)));
        // mdbtools that hang, or print one row more than the file's 16 pages can hold (255 a
        // page) and then nothing; one left running would leave "late" beside the Access file.
        const QByteArray script =
            "#!/bin/sh\ncase $0 in *tables) echo lianxi1;; *count) echo 3;; *)\n"
            "echo $$ $LC_ALL > \"$0.pid\"; echo 姓名\n" +
            QByteArray(damage == u"hang"_s ? "sleep 2; touch \"${0%/*}/../late\"; exec sleep 20"
                                           : "yes '\"x\"' | head -n 4081; exec sleep 20") +
            "\nesac\n";
        for (const QString& tool : {u"mdb-tables"_s, u"mdb-count"_s, u"mdb-export"_s}) {
            if (fake)
                test::writeBytes(path(u"tools/"_s + tool), script);
            QVERIFY(!fake || QFile::setPermissions(path(u"tools/"_s + tool),
                                                   QFile::ReadOwner | QFile::ExeOwner));
        }
        const QStringList entries = test::folderEntries(m_dir->path());
        const QString thrown = test::storeErrorOf([&] {
            QVERIFY(!importJetFile(
                source, target, [&](qint64, qint64) { return damage != u"cancel"_s; },
                MdbTools(fake || damage == u"no tools"_s ? path(u"tools"_s) : QString(), 300)));
        });
        QVERIFY2(thrown.contains(error) && thrown.isEmpty() == error.isEmpty(), qPrintable(thrown));
        QCOMPARE(test::readBytes(source), bytes);
        QCOMPARE(test::folderEntries(m_dir->path()), entries);
        if (fake) { // killed, not left running; run with a UTF-8 locale for the Chinese names
            const auto seen = test::readBytes(path(u"tools/mdb-export.pid"_s)).split(' ');
            QCOMPARE(::kill(seen[0].toInt(), 0), -1);
            QCOMPARE(seen.value(1).trimmed(), "C.UTF-8");
        }
    }

    void suggestedTargets_data() { test::addTableRows(u"jet/targets.txt"_s); }
    void suggestedTargets() {
        const auto [chosen, target] = test::cells<2>();
        QCOMPARE(suggestedImportTarget(chosen), target);
        QVERIFY(isJetFile(test::dataFile(u"jet/books.mdb"_s)));
        QVERIFY(!isJetFile(test::dataFile(u"jet/targets.txt"_s)));
    }

    // mdb-export's output arrives in pieces of any size; a quoted value may hold commas,
    // doubled quotes and line breaks.
    void csvInAnyPieces() {
        const QByteArray output = "a,b,c\n\"x, \"\"y\"\"\r\nz\",,7\n\"\",\"\"\"\",\"q\"";
        for (int piece = 1; piece <= output.size(); ++piece) {
            QByteArray rows;
            MdbCsvReader reader([&rows](const QList<QByteArrayView>& fields) {
                for (const QByteArrayView field : fields)
                    rows += field.toByteArray() + '|';
                rows += '/';
            });
            for (int at = 0; at < output.size(); at += piece)
                reader.feed(QByteArrayView(output.mid(at, piece)));
            reader.finish();
            QCOMPARE(rows, "a|b|c|/x, \"y\"\r\nz||7|/|\"|q|/");
        }
    }
};

QTEST_GUILESS_MAIN(TestJetImport)
#include "tst_jetimport.moc"
