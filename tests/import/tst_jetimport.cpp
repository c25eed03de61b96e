#include "import/csvreader.h"
#include "import/jetimport.h"
#include "store/dataerror.h"
#include "tables.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sqlite3.h>

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

const QString kNull = u"∅"_s;
using Rows = QList<QStringList>;

Rows tableRows(const QString& file, const QString& table) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, qPrintable(u"SELECT * FROM %1 ORDER BY rowid"_s.arg(table)), -1, &stmt,
                       nullptr);
    Rows rows;
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
        QStringList row;
        for (int c = 0; c < sqlite3_column_count(stmt); ++c)
            row << (sqlite3_column_type(stmt, c) == SQLITE_NULL
                        ? kNull
                        : QString::fromUtf8(
                              reinterpret_cast<const char*>(sqlite3_column_text(stmt, c))));
        rows << row;
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

} // namespace

class TestJetImport : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    QString path(const QString& name) const { return m_dir->filePath(name); }

private Q_SLOTS:
    // The tools must get their UTF-8 locale from the importer, not from whoever started it.
    void initTestCase() { qputenv("LC_ALL", "C"); }
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void cleanup() { m_dir.reset(); }

    // books.mdb: three books with every column, Chinese text, blanks padding the fixed-width
    // columns, dates with and without a time of day, memo text with quotes, commas and line
    // breaks. odd.mdb: extra, missing and differently cased columns and tables, and every kind
    // of value that cannot come over as it is. The .expected files hold the three tables of
    // the new book (values joined by "¦", ∅ for none) and the report.
    void importsEveryRecord_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<qint64>("read"); // records the progress counts at the end
        QTest::newRow("all columns") << u"books"_s << qint64(7);
        QTest::newRow("problems") << u"odd"_s << qint64(10);
    }
    void importsEveryRecord() {
        QFETCH(QString, fixture);
        QFETCH(qint64, read);
        const QString source = path(fixture + u".mdb"_s);
        QVERIFY(QFile::copy(test::dataFile(u"jet/"_s + fixture + u".mdb"_s), source));
        const QByteArray before = test::readBytes(source);
        const QString target = path(u"new.mdb"_s);
        qint64 lastDone = -1;
        const std::optional<ImportReport> result =
            importJetFile(source, target, [&](qint64 done, qint64) {
                lastDone = done;
                return true;
            });
        QVERIFY(result);
        QByteArray got;
        for (const QString& table : {u"lianxi1"_s, u"wzsk1"_s, u"xuliehao1"_s}) {
            got += '[' + table.toUtf8() + "]\n";
            for (const QStringList& row : tableRows(target, table))
                got += row.join(u'¦').toUtf8() + '\n';
        }
        got += "[report]\n" + result->lines().mid(3).join(u'\n').toUtf8() + '\n';
        QCOMPARE(got, test::goldenBytes(u"jet/"_s + fixture + u".expected"_s));
        QCOMPARE(result->lines().mid(0, 3),
                 (QStringList{u"Access 数据库："_s + source, u"新的 Quillbox 数据库："_s + target,
                              QString()}));
        QCOMPARE(lastDone, read);
        QCOMPARE(test::readBytes(source), before);
        // Only the new database is left beside the Access file: no journal, no part file.
        QStringList left{fixture + u".mdb"_s, u"new.mdb"_s};
        left.sort();
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), left);
    }

    void failureOrCancelLeavesNothing_data() {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("error"); // empty: the import is cancelled
        QTest::newRow("truncated") << u"truncated"_s << u"无法读取 Access 数据库文件"_s;
        QTest::newRow("random bytes in its pages")
            << u"random"_s << u"无法读取 Access 数据库文件"_s;
        // mdb-export skips the rows it cannot read with a warning and still succeeds.
        QTest::newRow("random bytes in a records page")
            << u"records page"_s << u"无法读取 Access 数据库文件"_s;
        QTest::newRow("tool hangs") << u"hang"_s << u"没有结果，已停止"_s;
        QTest::newRow("tool prints endlessly") << u"endless"_s << u"比文件能容纳的还多"_s;
        QTest::newRow("tools missing") << u"no tools"_s << u"请先安装软件包 mdbtools"_s;
        QTest::newRow("target exists") << u"target exists"_s << u"已经存在，没有导入"_s;
        QTest::newRow("folder cannot be written") << u"no folder"_s << u"无法在“"_s;
        QTest::newRow("cancelled") << u"cancel"_s << QString();
    }
    void failureOrCancelLeavesNothing() {
        QFETCH(QString, damage);
        QFETCH(QString, error);
        const QString source = path(u"old.mdb"_s);
        QByteArray bytes = test::readBytes(test::dataFile(u"jet/books.mdb"_s));
        if (damage == u"truncated"_s)
            bytes.truncate(5 * 4096);
        if (damage == u"records page"_s)
            QRandomGenerator(17).fillRange(reinterpret_cast<quint32*>(bytes.data() + 6 * 4096),
                                           4096 / 4);
        if (damage == u"random"_s)
            QRandomGenerator(17).fillRange(reinterpret_cast<quint32*>(bytes.data() + 2 * 4096),
                                           (bytes.size() - 2 * 4096) / 4);
        test::writeBytes(source, bytes);
        // A folder that is a file: no new file can be made in it, even by root.
        const QString target =
            damage == u"no folder"_s ? path(u"old.mdb/new.mdb"_s) : path(u"new.mdb"_s);
        if (damage == u"target exists"_s)
            test::writeBytes(target, "mine");
        QString tools;
        if (damage == u"no tools"_s || damage == u"hang"_s || damage == u"endless"_s)
            tools = path(u"tools"_s);
        QVERIFY(QDir().mkpath(path(u"tools"_s)));
        const QString pidFile = path(u"tools/pid"_s);
        if (damage == u"hang"_s || damage == u"endless"_s) {
            // A tool left running would leave "late" behind.
            const QByteArray exportTool =
                damage == u"hang"_s ? "sleep 2\ntouch \"$(dirname \"$0\")/late\"\nexec sleep 20"
                                    : "exec yes '\"x\"'";
            const QList<std::pair<QString, QByteArray>> scripts{
                {u"mdb-tables"_s, "echo lianxi1"},
                {u"mdb-count"_s, "echo 3"},
                {u"mdb-export"_s, "echo $$ > \"$(dirname \"$0\")/pid\"\necho 姓名\n" + exportTool}};
            for (const auto& [tool, script] : scripts) {
                test::writeBytes(path(u"tools/"_s + tool), "#!/bin/sh\n" + script + "\n");
                QVERIFY(QFile::setPermissions(path(u"tools/"_s + tool),
                                              QFile::ReadOwner | QFile::ExeOwner));
            }
        }
        const QStringList entries = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden);
        QString thrown;
        std::optional<ImportReport> report;
        try {
            report = importJetFile(
                source, target, [&](qint64, qint64) { return damage != u"cancel"_s; },
                MdbTools(tools, 300));
        } catch (const DataError& e) {
            thrown = e.message();
        }
        if (error.isEmpty()) {
            QVERIFY(thrown.isEmpty());
            QVERIFY(!report);
        } else {
            QVERIFY2(thrown.contains(error), qPrintable(thrown));
        }
        QCOMPARE(test::readBytes(source), bytes);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), entries);
        if (!tools.isEmpty() && damage != u"no tools"_s) {
            const int pid = test::readBytes(pidFile).trimmed().toInt();
            QVERIFY(pid > 0);
            QCOMPARE(::kill(pid, 0), -1); // killed, not left running
            QVERIFY(!QFile::exists(path(u"tools/late"_s)));
        }
    }

    void suggestedTargets_data() { test::addTableRows(u"jet/targets.txt"_s, {"chosen", "target"}); }
    void suggestedTargets() {
        QFETCH(QString, chosen);
        QFETCH(QString, target);
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
                reader.feed(QByteArrayView(output).sliced(
                    at, std::min<qsizetype>(piece, output.size() - at)));
            reader.finish();
            QCOMPARE(rows, "a|b|c|/x, \"y\"\r\nz||7|/|\"|q|/");
        }
    }
};

QTEST_GUILESS_MAIN(TestJetImport)
#include "tst_jetimport.moc"
